#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds one consumer program
# with find_package(Fyndra) and one with pkg-config, each including headers by
# the fyndra/ prefix, then runs both.
#   install_test.sh BUILD_DIR CXX "CONSUMER_FLAGS"
set -euo pipefail
build=$1 cxx=$2 flags=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/fyndra/core/zvbasemodel.h"
test -f "$prefix/lib/pkgconfig/fyndra.pc"
# Adapter packages are installed libraries of their own, listed in fyndra.pc.
test -f "$prefix/include/fyndra/adapters/client/zvclientmodel.h"
grep -q -- '-lfyndra_client' "$prefix/lib/pkgconfig/fyndra.pc"
# A program without a GUI links no GUI library: the Qt edition has its own file.
if grep -q Qt6 "$prefix/lib/pkgconfig/fyndra.pc"; then echo "fyndra.pc names Qt" >&2; exit 1; fi
if [ -f "$prefix/lib/libfyndra_qt.so" ]; then grep -q -- -lfyndra_qt "$prefix/lib/pkgconfig/fyndra-qt.pc"; fi

echo "== find_package(Fyndra)"
cmake -S "$here/consumer" -B "$work/cmake" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/consumer"

echo "== pkg-config fyndra"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++20 $flags "$here/consumer/consumer.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs fyndra)
LD_LIBRARY_PATH=$(pkg-config --variable=libdir fyndra) "$work/consumer-pc"
