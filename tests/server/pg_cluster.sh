#!/usr/bin/env bash
# Starts or stops the throwaway PostgreSQL cluster of a test run: `pg_cluster.sh start DIR` creates a
# cluster in DIR that listens only on a Unix socket in DIR (no TCP port); `pg_cluster.sh stop DIR`
# stops it and removes DIR. As root, the server runs as the postgres system user.
set -euo pipefail
action=$1
dir=$2

bindir=""
for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
  if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then bindir=$d; break; fi
done
if [ -z "$bindir" ]; then
  echo "pg_cluster: PostgreSQL server programs (initdb, pg_ctl) not found; install the package postgresql" >&2
  exit 1
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  if ! id postgres >/dev/null 2>&1; then
    echo "pg_cluster: running as root, but there is no postgres system user to run the server" >&2
    exit 1
  fi
  as_owner=(runuser -u postgres --)
fi

case "$action" in
  start)
    # A cluster left by an interrupted run is stopped and replaced.
    if [ -f "$dir/data/postmaster.pid" ]; then
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    chmod 700 "$dir"
    [ ${#as_owner[@]} -gt 0 ] && chown postgres "$dir"
    if ! "${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 \
        --no-sync >"$dir/initdb.log" 2>&1; then
      echo "pg_cluster: initdb failed:" >&2
      cat "$dir/initdb.log" >&2
      exit 1
    fi
    if ! "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=60" \
        start >/dev/null; then
      echo "pg_cluster: the server did not start:" >&2
      cat "$dir/server.log" >&2
      exit 1
    fi
    echo "pg_cluster: server listening on $dir"
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pg_cluster.sh start|stop DIR" >&2
    exit 2
    ;;
esac
