#!/usr/bin/env bash
# Starts or stops the throwaway PostgreSQL cluster of a test run: `pg_cluster.sh start DIR` creates a
# cluster in DIR that takes connections without encryption on a Unix socket in DIR (as port 5432) and
# with TLS only on 127.0.0.1 at a TCP port chosen free at start (written to DIR/tcp_port); its
# certificate, for the name "localhost", is signed by a root certificate made for the run
# (DIR/tls/ca.crt). `pg_cluster.sh stop DIR` stops it and removes DIR. `kill DIR` stops the server at
# once, as a crash would (immediate mode), and `restart DIR` starts it again on the same cluster and
# port. As root, the server runs as the postgres system user.
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
  local port
  port=$(cat "$dir/tcp_port")
  local options="-c listen_addresses='127.0.0.1' -c port=$port -c unix_socket_directories='$dir'"
  options="$options -c max_connections=60 -c ssl=on"
  options="$options -c ssl_cert_file='$dir/tls/server.crt' -c ssl_key_file='$dir/tls/server.key'"
  if [ "${PG_CLUSTER_DURABLE:-0}" != 1 ]; then
    options="$options -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  fi
  if ! "${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$options" \
      start >/dev/null; then
    echo "pg_cluster: the server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 1
  fi
  # The socket is named after the server's port; clients of the run find it under the usual one.
  if [ "$port" != 5432 ]; then
    ln -sfn ".s.PGSQL.$port" "$dir/.s.PGSQL.5432"
  fi
}

# A root certificate and the server's certificate for "localhost" signed by it, made with openssl.
make_certificates() {
  local tls=$dir/tls
  "${as_owner[@]}" mkdir -p "$tls"
  if ! { "${as_owner[@]}" openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 7 \
           -subj "/CN=Morvel test root" -keyout "$tls/ca.key" -out "$tls/ca.crt" &&
         "${as_owner[@]}" openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
           -subj "/CN=localhost" -keyout "$tls/server.key" -out "$tls/server.csr" &&
         printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\n' |
           "${as_owner[@]}" tee "$tls/server.ext" >/dev/null &&
         "${as_owner[@]}" openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.crt" -CAkey "$tls/ca.key" \
           -CAcreateserial -days 7 -extfile "$tls/server.ext" -out "$tls/server.crt"; } >"$dir/tls.log" 2>&1; then
    echo "pg_cluster: the certificates could not be made (openssl):" >&2
    cat "$dir/tls.log" >&2
    exit 1
  fi
  "${as_owner[@]}" chmod 600 "$tls/server.key"
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
    make_certificates
    # Unix socket: any connection; TCP: only encrypted ones, so that a client without TLS is refused.
    printf 'local all all trust\nhostssl all all 127.0.0.1/32 trust\n' |
      "${as_owner[@]}" tee "$dir/data/pg_hba.conf" >/dev/null
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' \
      >"$dir/tcp_port"
    start_server
    echo "pg_cluster: server listening on $dir and on 127.0.0.1:$(cat "$dir/tcp_port") (TLS)"
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
