#!/usr/bin/env bash
# Builds the Debian package quorvane-editor_VERSION_ARCH.deb with CPack:
#   scripts/package.sh [BUILD_DIR]          (default build-package)
# Only the three programs are built (Release); the package lands in BUILD_DIR and
# its path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
b=${1:-build-package}
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_WITH_QT=ON \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" > "$b.configure.log" 2>&1 ||
  { cat "$b.configure.log"; exit 1; }
rm -f "$b.configure.log"
cmake --build "$b" -j "$(nproc)" --target quorvane-editor quorvane-cli quorvane-sim quorvane_package_files
rm -f "$b"/quorvane-editor_*.deb
(cd "$b" && cpack -G DEB > cpack.log 2>&1) || { cat "$b/cpack.log"; exit 1; }
ls "$b"/quorvane-editor_*.deb
