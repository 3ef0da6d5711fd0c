#!/usr/bin/env bash
# Installs a build into a fresh prefix; builds C consumers (find_package and
# pkg-config, shared and static) and the tool against the installed tree alone.
# usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR TOOL_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
tool=$3
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

# A static consumer needs no libbrioutil.so at run time.
static_check() {
    if readelf -d "$1" | grep -q 'NEEDED.*libbrioutil'; then echo "$1 needs libbrioutil.so"; exit 1; fi
    out=$(env -u LD_LIBRARY_PATH "$1")
    [ "$out" = "$expected" ] || { echo "$1 printed: $out"; exit 1; }
}
cmake -S "$consumer" -B "$work/static" -DCMAKE_PREFIX_PATH="$prefix" -DCONSUMER_STATIC=ON >/dev/null
cmake --build "$work/static" >/dev/null || { echo "static find_package consumer does not link"; exit 1; }
static_check "$work/static/consumer"

if command -v pkg-config >/dev/null; then
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    [ "$(pkg-config --modversion brioutil)" = 0.1.0 ]
    # shellcheck disable=SC2046
    cc -o "$work/pc-consumer" "$consumer/main.c" $(pkg-config --cflags --libs brioutil)
    out=$(LD_LIBRARY_PATH="$prefix/lib" "$work/pc-consumer")
    [ "$out" = "$expected" ] || { echo "pkg-config consumer printed: $out"; exit 1; }
    # shellcheck disable=SC2046
    cc -static -o "$work/pc-static" "$consumer/main.c" $(pkg-config --static --cflags --libs brioutil) ||
        { echo "pkg-config --static consumer does not link"; exit 1; }
    static_check "$work/pc-static"
fi
# The tool needs nothing beyond the installed tree: no internal header, no
# internal function.
cmake -S "$tool" -B "$work/tool" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/tool" -j2 >"$work/tool.log" 2>&1 ||
    { cat "$work/tool.log"; echo "the tool does not build against the installed tree"; exit 1; }
out=$(printf 'Begin Form Main\r\n   Caption = "Hi"\r\nEnd\r\n' |
      "$work/tool/brioutil" form get - Form Main Caption)
[ "$out" = '"Hi"' ] || { echo "tool built against the installed tree printed: $out"; exit 1; }
echo "installed tree works: $prefix"
