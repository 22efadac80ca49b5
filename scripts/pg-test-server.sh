#!/usr/bin/env bash
# A private PostgreSQL server for tests: a fresh cluster in a temporary folder,
# trust authentication, no TCP (listen_addresses empty), a Unix socket in that
# folder. It runs as user postgres when started by root.
#
#   scripts/pg-test-server.sh COMMAND [ARGS...]
#       starts the server, runs COMMAND with PGHOST (the socket folder), PGPORT,
#       PGUSER and PGDATABASE set and KORVANE_PG_ODBC holding an ODBC connection
#       string, then stops the server and removes the folder (also when COMMAND
#       fails or the script is interrupted); exits with COMMAND's status.
#   scripts/pg-test-server.sh
#       without a command: prints those variables and waits until interrupted.
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [[ -z "$bindir" || ! -x "$bindir/initdb" ]]; then
  echo "pg-test-server: PostgreSQL is not installed (package postgresql)" >&2
  exit 3
fi

dir=$(mktemp -d /tmp/korvane-pg.XXXXXX)
chmod 755 "$dir"
as_owner=()
if [[ $(id -u) -eq 0 ]]; then
  chown postgres: "$dir"
  as_owner=(runuser -u postgres --)
fi
port=${KORVANE_PG_PORT:-54329}
owner=$(if [[ $(id -u) -eq 0 ]]; then echo postgres; else id -un; fi)

stop() {
  "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

"${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U "$owner" -E UTF8 --locale=C.UTF-8 >/dev/null 2>&1 ||
  "${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U "$owner" -E UTF8 --no-locale >/dev/null
"${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -w -l "$dir/log" \
  -o "-c listen_addresses='' -c unix_socket_directories='$dir' -p $port -c fsync=off -c full_page_writes=off" \
  start >/dev/null

export PGHOST=$dir PGPORT=$port PGUSER=$owner PGDATABASE=postgres
export KORVANE_PG_ODBC="DRIVER={PostgreSQL Unicode};Servername=$dir;Port=$port;Database=postgres;Username=$owner;CommLog=0;Debug=0"

if [[ $# -eq 0 ]]; then
  echo "PGHOST=$PGHOST PGPORT=$PGPORT PGUSER=$PGUSER PGDATABASE=$PGDATABASE"
  echo "KORVANE_PG_ODBC=$KORVANE_PG_ODBC"
  echo "Ctrl-C stops the server."
  # Waited for in the background, so that a signal ends the wait at once.
  while :; do
    sleep 3600 &
    wait $! || true
  done
fi
set +e
"$@"
status=$?
exit $status
