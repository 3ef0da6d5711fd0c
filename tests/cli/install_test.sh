#!/usr/bin/env bash
# Installs a build into a fresh prefix and builds programs against it: a CMake
# project through find_package(brioutil), and a C file through pkg-config.
# usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/brioutil.h include/brioutil_host.h lib/libbrioutil.so lib/libbrioutil.a \
         bin/brioutil lib/cmake/brioutil/brioutilConfig.cmake \
         lib/cmake/brioutil/brioutilConfigVersion.cmake lib/pkgconfig/brioutil.pc; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; ls -R "$prefix"; exit 1; }
done
"$prefix/bin/brioutil" --version | grep -qx 'brioutil 0.1.0'

expected='probe 0 template 577 0 {\rtf1 found 1'
cmake -S "$consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$(LD_LIBRARY_PATH="$prefix/lib" "$work/consumer/consumer")
[ "$out" = "$expected" ] || { echo "find_package consumer printed: $out"; exit 1; }

if command -v pkg-config >/dev/null; then
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    [ "$(pkg-config --modversion brioutil)" = 0.1.0 ]
    # shellcheck disable=SC2046
    cc -o "$work/pc-consumer" "$consumer/main.c" $(pkg-config --cflags --libs brioutil)
    out=$(LD_LIBRARY_PATH="$prefix/lib" "$work/pc-consumer")
    [ "$out" = "$expected" ] || { echo "pkg-config consumer printed: $out"; exit 1; }
fi
echo "installed tree works: $prefix"
