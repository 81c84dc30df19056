#!/usr/bin/env bash
# Builds the Debian package quorvane-editor_VERSION_ARCH.deb with CPack:
#   scripts/package.sh [BUILD_DIR]          (default build-package)
# Packs the three programs of an optimised build tree with the Qt window: an existing
# tree as it is (scripts/run-tests.sh packs the normal tree, whose programs its normal
# stage tested), or a new Release tree in which only the three programs are built.
# CPack strips the programs. The package lands in BUILD_DIR and its path is the last
# line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
b=${1:-build-package}
if [ ! -f "$b/build.ninja" ]; then
  launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # CPack then installs the three programs without building the tests first.
  cmake -S . -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_WITH_QT=ON \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" > "$b.configure.log" 2>&1 || { cat "$b.configure.log"; exit 1; }
  rm -f "$b.configure.log"
fi
# A tree built for tests only (no window, sanitizers, no optimisation) is no package.
cache() { sed -n "s/^$1:[A-Z]*=//p" "$b/CMakeCache.txt"; }
case "$(cache CMAKE_BUILD_TYPE)" in
  Release|RelWithDebInfo|MinSizeRel) ;;
  *) echo "package: $b is a $(cache CMAKE_BUILD_TYPE) build; pack an optimised one" >&2; exit 1 ;;
esac
[ "$(cache QUORVANE_WITH_QT)" = ON ] || { echo "package: $b is built without the Qt window" >&2; exit 1; }
[ -z "$(cache QUORVANE_SANITIZE)" ] || { echo "package: $b is built with sanitizers" >&2; exit 1; }
cmake --build "$b" -j "$(nproc)" --target quorvane-editor quorvane-cli quorvane-sim quorvane_package_files
rm -f "$b"/quorvane-editor_*.deb
(cd "$b" && cpack -G DEB > cpack.log 2>&1) || { cat "$b/cpack.log"; exit 1; }
ls "$b"/quorvane-editor_*.deb
