#!/bin/bash
# The whole start-up path of the program on an sqlite catalogue built with
# mkcatalog: options, catalogue, up to the screen set-up.  There is no usable
# video driver here, so the program stops when it tries to open the screen.
set -eu
bin=${TIRSK_MON_BIN:?}
mkcatalog=${TIRSK_BINARY_DIR:?}/tools/mkcatalog/mkcatalog
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$mkcatalog" -o "$dir/hall.db" - <<'EOF'
camera 0 allow_local=1 video_src=yes
camera 1 work=1 v4l_pipe=1 text_left="Entrance"
camera 2 work=1 v4l_pipe=2
layout 0 L QUAD_4_4 "Hall" 1 2
layout 3 L ONECAM "Door" 2
EOF
# An empty configuration file keeps the machine's own out of the test.
: >"$dir/empty.conf"

# run NAME ARGS...: the program with ARGS, its standard error in $dir/NAME;
# every ending here is a failure or the missing screen, so the status is 1
run() {
    local name=$1
    shift
    set +e
    env -u DISPLAY SDL_VIDEODRIVER=none timeout 60 \
        "$bin" -c "$dir/empty.conf" "$@" >"$dir/$name.out" 2>"$dir/$name.err"
    local rc=$?
    set -e
    if [ $rc -eq 124 ]; then
        echo "FAIL $name: still running after 60 s"
        exit 1
    fi
    if [ $rc -ne 1 ]; then
        echo "FAIL $name: exit status $rc, not 1"
        exit 1
    fi
}

# expect NAME TEXT: TEXT occurs in the standard error of run NAME
expect() {
    if ! grep -qF -- "$2" "$dir/$1.err"; then
        echo "FAIL $1: missing: $2"
        echo "---- standard error:"
        cat "$dir/$1.err"
        exit 1
    fi
}

# One -v is enough for the info lines.
run good -T sqlite -H "$dir" -D hall.db -v
expect good "(*) Add layout #0, type \`QUAD_4_4'(3), name \`Hall' with 2 cameras"
expect good "(*) Add layout #3, type \`ONECAM'(0), name \`Door' with 1 cameras"

# -q silences the info lines but keeps the errors.
run quiet -T sqlite -H "$dir" -D hall.db -v -q -l 2
if grep -qF "(*) Add layout" "$dir/quiet.err"; then
    echo "FAIL quiet: info lines despite -q"
    exit 1
fi
expect quiet "Layout #2 on left display is not defined in hall.db database"

run skipped -T sqlite -H "$dir" -D hall.db -l 2
expect skipped "Layout #2 on left display is not defined in hall.db database"

run missing -T sqlite -H "$dir" -D nothing.db
expect missing "could not connect to \"sqlite\" database \"nothing.db\" on \"$dir\" as user \"tirsk-mon\" -> $dir/nothing.db: No such file or directory"
[ ! -e "$dir/nothing.db" ] || { echo "FAIL missing: an empty database was created"; exit 1; }

echo "catalogue start-up path: ok"
