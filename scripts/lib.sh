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
