#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 / Ubuntu, only what is missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang-14 clang-tidy-14 libclang-rt-14-dev libfuzzer-14-dev
          libgtest-dev qt6-base-dev libgl-dev xvfb xauth nlohmann-json3-dev libudev-dev pkg-config
          g++-mingw-w64-x86-64 wine wine64 lintian dpkg-dev fakeroot ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
