#!/usr/bin/env bash
# The OPC UA test plant for CTest, kept in a folder of the build tree:
#   peer.sh install DIR   installs the pinned node-opcua server from npm into DIR (once)
#   peer.sh start DIR     starts the plant on a free loopback port; DIR/port names it
#   peer.sh start DIR secure
#                         starts the secured plant; DIR/secure-port names it
#   peer.sh stop DIR      stops both
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="$2"
case "$1" in
  install)
    mkdir -p "$dir"
    cp "$here/plant_server.js" "$dir/"
    if ! cmp -s "$here/package-lock.json" "$dir/package-lock.json" ||
       [ ! -f "$dir/node_modules/node-opcua-server/package.json" ]; then
      cp "$here/package.json" "$here/package-lock.json" "$dir/"
      (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
    fi
    ;;
  start)
    kind="${3:-}"
    prefix="${kind:+$kind-}"
    rm -f "$dir/${prefix}port"
    if [ -f "$dir/${prefix}pid" ] && kill -0 "$(cat "$dir/${prefix}pid")" 2>/dev/null; then
      kill "$(cat "$dir/${prefix}pid")"
    fi
    nohup node "$dir/plant_server.js" "$dir/${prefix}port" $kind >"$dir/${prefix}server.log" 2>&1 </dev/null &
    echo $! >"$dir/${prefix}pid"
    for _ in $(seq 1 600); do
      [ -f "$dir/${prefix}port" ] && { echo "test plant on port $(cat "$dir/${prefix}port")"; exit 0; }
      kill -0 "$(cat "$dir/${prefix}pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "The test plant did not start:" >&2
    tail -20 "$dir/${prefix}server.log" >&2
    exit 1
    ;;
  stop)
    for prefix in "" secure-; do
      if [ -f "$dir/${prefix}pid" ]; then
        kill "$(cat "$dir/${prefix}pid")" 2>/dev/null || true
        rm -f "$dir/${prefix}pid" "$dir/${prefix}port"
      fi
    done
    ;;
  *) echo "usage: peer.sh install|start|stop DIR" >&2; exit 2 ;;
esac
