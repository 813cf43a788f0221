#!/usr/bin/env bash
# Starts or stops the throwaway PostgreSQL cluster of a test run: `pg_cluster.sh start DIR` creates a
# cluster in DIR that listens only on a Unix socket in DIR (no TCP port); `pg_cluster.sh stop DIR`
# stops it and removes DIR. `kill DIR` stops the server at once, as a crash would (immediate mode), and
# `restart DIR` starts it again on the same cluster. As root, the server runs as the postgres system user.
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

# The server skips waiting for the disk unless PG_CLUSTER_DURABLE=1 (for tests that crash it on purpose).
start_server() {
  local options="-c listen_addresses='' -c unix_socket_directories='$dir' -c max_connections=60"
  if [ "${PG_CLUSTER_DURABLE:-0}" != 1 ]; then
    options="$options -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  fi
  if ! "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$options" \
      start >/dev/null; then
    echo "pg_cluster: the server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 1
  fi
}

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
    start_server
    echo "pg_cluster: server listening on $dir"
    ;;
  kill)
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
    ;;
  restart)
    start_server
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pg_cluster.sh start|stop|kill|restart DIR" >&2
    exit 2
    ;;
esac
