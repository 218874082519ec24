#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running the
# project needs. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libavdevice-dev
  ffmpeg
  libfmt-dev
  libgtest-dev googletest libbenchmark-dev
  clang clang-format clang-tidy libclang-rt-14-dev
  svt-av1 mkvtoolnix
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
