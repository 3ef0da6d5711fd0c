# Shared by the scripts: installs what a fresh machine lacks.

# Installs the Debian packages that are not installed yet. Returns 1 when the
# package registry could not be reached.
need_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    if ! $sudo apt-get update -q >/dev/null; then
        echo "apt-get update failed: the package registry cannot be reached" >&2
        return 1
    fi
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null || return 1
}

# What the build and the tests need on Linux.
need_build_packages() {
    need_packages cmake g++ make libgtest-dev libbenchmark-dev imagemagick unrtf
}

# What the Windows builds and their runs under wine64 need.
need_windows_packages() {
    need_packages g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
}

# What the 32-bit leg needs: the i386 Wine, after enabling that architecture.
# Returns 1 when it cannot be installed.
need_wine32_packages() {
    dpkg -s wine32:i386 >/dev/null 2>&1 && return 0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo dpkg --add-architecture i386 || return 1
    fi
    need_packages wine32:i386
}

# Builds TARGETS of the windows-x64 preset in BUILD (default build/windows-x64).
build_windows_x64() {
    local build=${1:-build/windows-x64}
    shift || true
    cmake --preset windows-x64 -B "$build" >/dev/null
    cmake --build "$build" -j2 --target "$@"
}

# Sets up Wine: quiet, with the project's own prefix under build/ (made on
# first use; a 64-bit prefix, which also runs i686 programs when the i386
# Wine is installed). Runs x64 programs as "$WINE64" PROGRAM and i686 ones
# as "$WINE32" PROGRAM.
setup_wine() {
    export WINEDEBUG=-all
    export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix}
    WINE64=/usr/lib/wine/wine64
    WINE32=/usr/lib/wine/wine
    "$WINE64" wineboot --init >/dev/null 2>&1 || true
}
