#!/usr/bin/env bash
# Builds the programs, starts our voice server with the demo catalogue and
# then the converter; the server stops when the converter ends.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j "$(nproc)"

bin="$here/build/bin"
catalogue="$here/build/demo-catalogue"
tenv="$here/build/training-env/tenv_gpu_win64.7z"
# The demo catalogue is spoken by the converter just built and carries the
# training environment archive; it is made again when the converter, the
# server or the archive is newer than it.
if [ ! -f "$catalogue/.complete" ] || [ "$bin/salvormithe" -nt "$catalogue/.complete" ] \
   || [ "$bin/quorvine_voice_server" -nt "$catalogue/.complete" ] || [ "$tenv" -nt "$catalogue/.complete" ]; then
  echo "run: writing the demo voice catalogue"
  rm -rf "$catalogue.new"
  "$bin/quorvine_voice_server" --make-demo "$catalogue.new" --converter "$bin/salvormithe" --training-env "$tenv"
  touch "$catalogue.new/.complete"
  rm -rf "$catalogue"
  mv "$catalogue.new" "$catalogue"
fi

server_log=$(mktemp)
"$bin/quorvine_voice_server" --catalogue "$catalogue" >"$server_log" 2>&1 &
server_pid=$!
stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  rm -f "$server_log"
}
trap stop_server EXIT
trap 'exit 130' INT TERM HUP

# Wait until the server listens (or has given up, e.g. its port is taken).
for _ in $(seq 1 100); do
  grep -q '^listening on' "$server_log" && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.05
done
if grep -q '^listening on' "$server_log"; then
  echo "run: voice server $(head -n 1 "$server_log")"
else
  echo "run: the voice server did not start:" >&2
  cat "$server_log" >&2
fi

status=0
"$bin/salvormithe" "$@" || status=$?
exit $status
