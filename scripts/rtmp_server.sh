#!/usr/bin/env bash
# Starts or stops a private nginx RTMP server on a loopback port.
#
#   rtmp_server.sh start DIR [PORT]   writes DIR/nginx.conf, starts nginx in the background,
#                                     waits until it accepts connections, prints the port
#   rtmp_server.sh stop DIR           stops the server started in DIR
#
# The server runs without a master process and keeps its pid, logs and temporary
# files inside DIR, so several can run side by side and none touches the system nginx.
set -euo pipefail

module=/usr/lib/nginx/modules/ngx_rtmp_module.so

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# Run in a subshell before it execs: descriptors the caller left open (a
# lock, a pipe to a test) must not stay held by a long-lived server.
close_inherited_fds() {
  local fd n
  for fd in /proc/$BASHPID/fd/*; do
    n=${fd##*/}
    [ "$n" -gt 2 ] 2>/dev/null && eval "exec $n>&-" 2>/dev/null || true
  done
}

port_open() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start() {
  local dir=$1 port=${2:-}
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ -n "$port" ] || port=$(free_port)
  [ -f "$module" ] || { echo "rtmp_server: $module is missing (run scripts/install_deps.sh)" >&2; exit 1; }
  cat > "$dir/nginx.conf" <<CONF
load_module $module;
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
rtmp {
    server {
        listen 127.0.0.1:$port;
        application live {
            live on;
            record off;
        }
    }
}
CONF
  (close_inherited_fds; exec nginx -c "$dir/nginx.conf" -p "$dir" -e "$dir/error.log") \
    </dev/null >"$dir/stdout.log" 2>&1 &
  local server=$!
  echo "$server" > "$dir/server.pid"
  # With RTMP_SERVER_OWNER set (a test process), the server ends with its
  # owner even when the owner dies without stopping it.
  if [ -n "${RTMP_SERVER_OWNER:-}" ]; then
    (
      close_inherited_fds
      while kill -0 "$RTMP_SERVER_OWNER" 2>/dev/null && kill -0 "$server" 2>/dev/null; do sleep 1; done
      kill -KILL "$server" 2>/dev/null || true
    ) </dev/null >/dev/null 2>&1 &
  fi
  for _ in $(seq 1 100); do
    if port_open "$port"; then echo "$port"; return 0; fi
    if ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then break; fi
    sleep 0.05
  done
  echo "rtmp_server: nginx did not start on port $port; see $dir/error.log" >&2
  cat "$dir/error.log" "$dir/stdout.log" >&2 2>/dev/null || true
  exit 1
}

stop() {
  local dir=$1 pid
  [ -f "$dir/server.pid" ] || return 0
  pid=$(cat "$dir/server.pid")
  # nginx lingers almost two seconds after TERM; nothing it holds is worth
  # keeping, so it gets a short grace period and is then killed.
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 10); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/server.pid"; return 0; }
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/server.pid"
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  *) echo "usage: $0 start DIR [PORT] | stop DIR" >&2; exit 2 ;;
esac
