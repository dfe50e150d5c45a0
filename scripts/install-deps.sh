#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PKGS=(
  # toolchain
  build-essential cmake pkg-config ninja-build
  # Qt 5.15
  qtbase5-dev qtbase5-dev-tools qtdeclarative5-dev qtdeclarative5-dev-tools
  qttools5-dev qttools5-dev-tools qtquickcontrols2-5-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls
  qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-qtquick-dialogs
  qml-module-qtgraphicaleffects qml-module-qttest qml-module-qtqml-models2
  qml-module-qtquick-templates2 qml-module-qt-labs-settings qml-module-qt-labs-folderlistmodel
  # libraries
  libjson-c-dev libcurl4-openssl-dev libssl-dev libarchive-dev libavutil-dev
  libswresample-dev libicu-dev libsqlite3-dev libsdl2-dev libsdl2-mixer-dev
  libespeak-ng-dev espeak-ng espeak-ng-data libcpp-httplib-dev
  # programs the system runs (python3: our training environment)
  ffmpeg p7zip-full sqlite3 python3
  # tests and checks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-utils xdotool imagemagick
  poppler-utils sox openssl time unzip
  # fonts for the window and the PDF export
  fonts-dejavu-core fonts-liberation fonts-wqy-microhei
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
