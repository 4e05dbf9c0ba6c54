# Shared by the scripts: packages, build folder, a private X server with a tray.

TARVIX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${TARVIX_BUILD_DIR:-$TARVIX_ROOT/build}"

TARVIX_PACKAGES=(
    g++ make cmake pkg-config git xz-utils zlib1g-dev libcurl4-openssl-dev openssl ca-certificates
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n qt6-qpa-plugins
    libcanberra-dev libasound2-dev libgl-dev
    xvfb xauth trayer xdotool x11-utils fonts-dejavu-core clang-format imagemagick
    dpkg-dev file appstream desktop-file-utils
)

# Installs only what is missing, so a prepared machine starts at once.
ensure_packages() {
    local missing=()
    for package in "${TARVIX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Installing them needs root or sudo: run this once as root, or install sudo." >&2
            return 1
        fi
        sudo="sudo"
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds into $1 with the extra CMake arguments that follow.
build_tarvix() {
    local dir="$1"
    shift
    cmake -S "$TARVIX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${TARVIX_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

ensure_runtime_dir() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ]; then
        # One folder per user, used again by every run, so that runs leave no folders behind; one
        # that is not the user's own (or is a link) is not trusted, and a fresh one is made instead.
        XDG_RUNTIME_DIR="/tmp/tarvix-runtime-$(id -u)"
        mkdir -p -m 0700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
        if [ -L "$XDG_RUNTIME_DIR" ] || [ ! -d "$XDG_RUNTIME_DIR" ] || [ ! -O "$XDG_RUNTIME_DIR" ]; then
            XDG_RUNTIME_DIR="$(mktemp -d /tmp/tarvix-runtime.XXXXXX)"
        fi
        chmod 0700 "$XDG_RUNTIME_DIR"
        export XDG_RUNTIME_DIR
    fi
}

XVFB_PID=""
TRAYER_PID=""

# A private X server (-displayfd picks a free display) with trayer as the system tray.
start_private_display() {
    local fdfile
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 300); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    if [ ! -s "$fdfile" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
    start_tray
}

start_tray() {
    trayer --edge top --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
    TRAYER_PID=$!
    for _ in $(seq 1 300); do
        xdotool search --classname trayer >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "trayer did not start" >&2
    return 1
}

# Either may have ended already (a tray that crashed): that must not turn a run that passed into a
# failure, nor leave the X server running.
stop_private_display() {
    [ -n "$TRAYER_PID" ] && kill "$TRAYER_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    TRAYER_PID=""
    XVFB_PID=""
}
