#!/usr/bin/env bash
# Runs one test program with its own HOME and XDG folders, headless.
set -u
root=$(mktemp -d /tmp/qvtest.XXXXXX)
mkdir -p "$root/home" "$root/data" "$root/config" "$root/cache" "$root/runtime" "$root/tmp"
chmod 700 "$root/runtime"
export HOME="$root/home"
export XDG_DATA_HOME="$root/data"
export XDG_CONFIG_HOME="$root/config"
export XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export TMPDIR="$root/tmp"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export QT_QUICK_BACKEND=software
# The software backend draws without GL; loading no GL driver keeps its leaks out of the sanitizer.
export QT_XCB_GL_INTEGRATION=none
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
export QV_TEST_ROOT="$root"
"$@"
rc=$?
rm -rf "$root"
exit $rc
