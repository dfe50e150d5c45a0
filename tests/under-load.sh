#!/usr/bin/env bash
# Runs the whole suite (.ci/run) on a fresh clone of this repository while
# stress-ng keeps every core busy, several times in a row, and prints the time
# and outcome of each run. Not called by CI.
#
#   bash tests/under-load.sh [runs] [stress-ng options]
#
# Defaults: 3 runs beside "--cpu <twice the cores>". Other loads can be given,
# e.g. "--cpu 48 --iomix 4". With "none" the runs go alone.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
shift || true
stress=("$@")
if [ "${#stress[@]}" -eq 0 ]; then
  stress=(--cpu "$((2 * $(nproc)))")
fi

if ! command -v stress-ng >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y -qq stress-ng >/dev/null
fi

work=$(mktemp -d /tmp/qv-under-load.XXXXXX)
git clone -q "$here" "$work/src"
echo "clone of $(git -C "$here" rev-parse --short HEAD) in $work/src; load: stress-ng ${stress[*]}"

stress_pid=""
if [ "${stress[*]}" != "none" ]; then
  stress-ng "${stress[@]}" --timeout 0 >/dev/null 2>&1 &
  stress_pid=$!
fi
trap '[ -n "$stress_pid" ] && kill "$stress_pid" 2>/dev/null; wait 2>/dev/null' EXIT

failed=0
for i in $(seq 1 "$runs"); do
  log="$work/run$i.log"
  start=$(date +%s)
  if (cd "$work/src" && bash .ci/run) >"$log" 2>&1; then outcome=passed; else outcome=FAILED; failed=1; fi
  end=$(date +%s)
  echo "run $i: $outcome in $((end - start)) s (load average $(cut -d' ' -f1-3 /proc/loadavg)); log $log"
  if [ "$outcome" = FAILED ]; then
    grep -E '^\[  FAILED  \]|\*\*\*Failed|^FAIL!' "$log" | sort -u | sed 's/^/  /'
  fi
done
exit $failed
