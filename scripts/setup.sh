#!/usr/bin/env bash
# Installs, only when missing, every Debian package that building, running and
# testing Glimmet needs. Idempotent; needs root (or sudo) only when something
# is missing.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libzstd-dev libxcb1-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick libxfixes-dev openbox
  weston qt6-wayland
  fonts-dejavu-core
  desktop-file-utils appstream lintian man-db
  clang libclang-rt-14-dev clang-format clang-tidy
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
