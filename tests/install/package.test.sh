# The Debian package built from this build tree, unpacked into a temporary
# root (never installed): every file in its place, the program runs.
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$TIRSK_BINARY_DIR/CPackConfig.cmake" -B "$tmp" -G DEB >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/tirsk-mon_*.deb)
dpkg-deb -x "$deb" "$tmp/root"
dpkg-deb -f "$deb" Depends Recommends | tee "$tmp/fields"
grep -q 'libsdl1.2debian' "$tmp/fields" && grep -q 'fonts-freefont-ttf' "$tmp/fields" && grep -q 'libdbd-pgsql' "$tmp/fields"
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/tirsk/tirsk.conf ]
cd "$tmp/root"
for f in usr/bin/tirsk-mon usr/bin/tirsk-mkcatalog usr/share/pixmaps/tirsk-mon.xpm \
    usr/share/man/man1/tirsk-mon.1.gz usr/share/man/man1/tirsk-mkcatalog.1.gz \
    etc/tirsk/tirsk.conf usr/lib/systemd/user/tirsk-mon@.service \
    usr/share/tirsk-mon/tirsk-mon.desktop usr/lib/tirsk-mon/tirsk-mon-session \
    usr/lib/tirsk-mon/collector-example.sh usr/share/doc/tirsk-mon/copyright; do
    [ -s "$f" ] || { echo "missing: /$f"; find . -type f; exit 1; }
done
out=$(./usr/bin/tirsk-mon --version || true)
echo "$out" | grep -q "^tirsk-mon-[0-9.]* build date"
man --warnings -l usr/share/man/man1/tirsk-mon.1.gz 2>&1 >/dev/null | (! grep .)
