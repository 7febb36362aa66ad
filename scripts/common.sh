# Shared by run.sh and test.sh: Debian packages, configure and build.
# shellcheck shell=bash

ROWLARK_PACKAGES=(
    build-essential cmake pkg-config clang-format
    qt6-base-dev libgl-dev
    unixodbc unixodbc-dev odbcinst tdsodbc freetds-bin procps iproute2
    libsqlite3-dev nettle-dev
    googletest libgtest-dev libbenchmark-dev
    xvfb xdotool libx11-dev libxfixes-dev
    fonts-liberation2
)
# Client stacks the sandbox is tested against besides tedious (npm): db-lib through pymssql,
# CT-lib through DBD::Sybase. Their tests skip, saying so, where these are missing.
ROWLARK_CLIENT_PACKAGES=(python3-pymssql libdbd-sybase-perl)
# What a person using the demo wants beyond the build: text in every script, and a picture viewer.
ROWLARK_DESKTOP_PACKAGES=(fonts-noto-cjk fonts-noto-color-emoji xdg-utils)

# Installs the packages that are missing; without root, says the one command to run and stops.
ensure_packages() {
    local missing=()
    for p in "${ROWLARK_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Some packages are missing. Run this once, then start again:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
}

# Installs what is missing of the packages named, as root; otherwise says which tests will skip.
ensure_optional_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "note: ${missing[*]} missing (sudo apt-get install -y ${missing[*]}); their tests will be skipped" >&2
        return 0
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null ||
        { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null; } ||
        echo "warning: could not install ${missing[*]}; their tests will be skipped" >&2
}

# configure_and_build BUILD_DIR [cmake options...]; ROWLARK_TARGETS, when set, names the only
# targets to build. Progress lines show as it goes; errors and warnings always.
configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log" >&2; return 1; }
    local targets=()
    for t in ${ROWLARK_TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}" 2>&1 |
        { grep --line-buffered -E '^\[ *[0-9]+%\] (Building|Linking)|error|undefined|warning:|Error [0-9]' || true; }
    local status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || echo "The build failed (status $status)." >&2
    return "$status"
}
