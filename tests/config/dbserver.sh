#!/bin/bash
# Private MariaDB and PostgreSQL servers for the catalogue tests, on
# 127.0.0.1 only, with everything under one directory.
#
#   dbserver.sh start mariadb|pgsql DIR PORT
#   dbserver.sh stop  mariadb|pgsql DIR
#   dbserver.sh grant mariadb|pgsql DIR PORT
#
# A started server has the database tirsk6_db and the user tirsk-mon with the
# password tirsk-secret, who may create tables in it; grant lets the user
# tirsk-ro (same password) read the catalogue tables, as the README's
# installer's guide does.  Run as root the
# servers run as the mysql / postgres users; otherwise as the caller.
set -eu

cmd=$1 kind=$2 dir=$3 port=${4:-0}
pgbin=/usr/lib/postgresql/15/bin
user=tirsk-mon password=tirsk-secret
root=$([ "$(id -u)" = 0 ] && echo 1 || true)

as() { # as USER command...: run as USER when we are root
    local u=$1
    shift
    if [ "$root" ]; then runuser -u "$u" -- "$@"; else "$@"; fi
}

# Runs the command with its output in LOG; on failure shows LOG's end.
logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 || { tail -n 30 "$log" >&2; return 1; }
}

start_mariadb() {
    mkdir -p "$dir/my"
    local runas=()
    [ "$root" ] && chown -R mysql: "$dir" && runas=(--user=mysql)
    logged "$dir/my-install.log" mariadb-install-db --no-defaults "${runas[@]}" --datadir="$dir/my" \
        --skip-test-db --auth-root-authentication-method=socket
    /usr/sbin/mariadbd --no-defaults "${runas[@]}" --datadir="$dir/my" --socket="$dir/my.sock" \
        --port="$port" --bind-address=127.0.0.1 --pid-file="$dir/my.pid" --log-error="$dir/my.err" \
        --skip-name-resolve >/dev/null 2>&1 &
    for _ in $(seq 300); do
        mariadb-admin --no-defaults --socket="$dir/my.sock" -u "$(id -un)" ping >/dev/null 2>&1 && break
        sleep 0.1
    done
    mariadb --no-defaults --socket="$dir/my.sock" -u "$(id -un)" -e "
        CREATE DATABASE tirsk6_db CHARACTER SET utf8mb4;
        CREATE USER '$user'@'127.0.0.1' IDENTIFIED BY '$password';
        GRANT ALL ON tirsk6_db.* TO '$user'@'127.0.0.1';
        CREATE USER 'tirsk-ro'@'127.0.0.1' IDENTIFIED BY '$password';" || { tail -n 30 "$dir/my.err" >&2; return 1; }
}

stop_mariadb() {
    [ -f "$dir/my.pid" ] || return 0
    local pid
    pid=$(cat "$dir/my.pid")
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
}

start_pgsql() {
    mkdir -p "$dir/pg"
    [ "$root" ] && chown -R postgres: "$dir"
    logged "$dir/pg-init.log" as postgres "$pgbin/initdb" -D "$dir/pg" -U postgres -E UTF8 --no-locale \
        --auth-local=trust --auth-host=scram-sha-256
    as postgres "$pgbin/pg_ctl" -D "$dir/pg" -l "$dir/pg.log" -w \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir" start >/dev/null || { tail -n 30 "$dir/pg.log" >&2; return 1; }
    "$pgbin/psql" -X -q -h "$dir" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 \
        -c "CREATE ROLE \"$user\" LOGIN PASSWORD '$password'" -c "CREATE DATABASE tirsk6_db OWNER \"$user\"" \
        -c "CREATE ROLE \"tirsk-ro\" LOGIN PASSWORD '$password'"
}

grant_mariadb() {
    mariadb --no-defaults --socket="$dir/my.sock" -u "$(id -un)" -e "
        GRANT SELECT ON tirsk6_db.CAMERAS TO 'tirsk-ro'@'127.0.0.1';
        GRANT SELECT ON tirsk6_db.LOCAL_LAYOUTS TO 'tirsk-ro'@'127.0.0.1';"
}

grant_pgsql() {
    "$pgbin/psql" -X -q -h "$dir" -p "$port" -U postgres -d tirsk6_db -v ON_ERROR_STOP=1 \
        -c 'GRANT SELECT ON cameras, local_layouts TO "tirsk-ro"'
}

stop_pgsql() {
    [ -f "$dir/pg/postmaster.pid" ] || return 0
    as postgres "$pgbin/pg_ctl" -D "$dir/pg" -m immediate -w stop >/dev/null 2>&1 || true
}

case "$cmd-$kind" in
start-mariadb | start-pgsql | stop-mariadb | stop-pgsql | grant-mariadb | grant-pgsql) "${cmd}_$kind" ;;
*) echo "usage: $0 start|stop|grant mariadb|pgsql DIR [PORT]" >&2; exit 2 ;;
esac
