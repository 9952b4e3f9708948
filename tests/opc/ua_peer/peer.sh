#!/usr/bin/env bash
# The OPC UA test plant for CTest, kept in a folder of the build tree:
#   peer.sh install DIR   installs the pinned node-opcua server from npm into DIR (once)
#   peer.sh start DIR     starts the plant on a free loopback port; DIR/port names it
#   peer.sh stop DIR      stops it
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
    rm -f "$dir/port"
    if [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then kill "$(cat "$dir/pid")"; fi
    nohup node "$dir/plant_server.js" "$dir/port" >"$dir/server.log" 2>&1 </dev/null &
    echo $! >"$dir/pid"
    for _ in $(seq 1 600); do
      [ -f "$dir/port" ] && { echo "test plant on port $(cat "$dir/port")"; exit 0; }
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "The test plant did not start:" >&2
    tail -20 "$dir/server.log" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      kill "$(cat "$dir/pid")" 2>/dev/null || true
      rm -f "$dir/pid" "$dir/port"
    fi
    ;;
  *) echo "usage: peer.sh install|start|stop DIR" >&2; exit 2 ;;
esac
