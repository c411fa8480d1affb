# Sourced by run.sh and test.sh: installs the Debian 12 packages that are
# missing, and nothing else. Checks with dpkg first so that a machine that has
# everything never touches apt.

KOVRIT_PACKAGES=(
    build-essential cmake ninja-build pkg-config file
    qt6-base-dev qt6-base-dev-tools
    qt6-serialport-dev
    qt6-translations-l10n
    qt6-websockets-dev qt6-httpserver-dev
    libqt6sql6-sqlite
    fonts-dejavu-core
    xvfb xauth
)

kovrit_missing_packages() {
    local p missing=()
    for p in "${KOVRIT_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || missing+=("$p")
    done
    echo "${missing[@]}"
}

# kovrit_ensure_packages [extra packages...]
kovrit_ensure_packages() {
    local missing
    missing=$(kovrit_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Es fehlen Debian-Pakete. Bitte als root ausführen:" >&2
        echo "  apt-get update && apt-get install -y $missing" >&2
        exit 1
    fi
    echo "Installing missing packages: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
}

# kovrit_build <build dir> [cmake options...]
kovrit_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j2
}
