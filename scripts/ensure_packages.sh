# Sourced by run.sh and test.sh: installs the Debian packages this project
# builds with, when any is missing. Nothing is downloaded from anywhere else.

KWS_PACKAGES=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libgtest-dev
  qt6-base-dev libgl-dev
  libimagequant-dev
  # OpenSSL's libcrypto: the SHA-256 of each image in the command line's JSON.
  libssl-dev
  # A large PNG is read a few rows at a time, a large WebP at a reduced scale.
  libpng-dev libwebp-dev
  gzip
  # Qt's readers for WebP and TIFF, and for SVG: the import takes these too.
  qt6-image-formats-plugins libqt6svg6
  # The font of the import's caption.
  fonts-dejavu-core
  # Manual pages made from the programs' --help, and the Debian package.
  help2man dpkg-dev file
  # Checks of the desktop entry and the AppStream metainfo.
  desktop-file-utils appstream
  # The window under a real X server, keys sent as a user's are.
  xvfb xauth xdotool
)

kws_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$' || echo "$pkg"
  done
}

# ensure_packages [extra packages...]
ensure_packages() {
  local missing
  missing=$(kws_missing_packages "${KWS_PACKAGES[@]}" "$@" | tr '\n' ' ')
  [ -z "${missing// }" ] && return 0
  echo "Installing missing packages: $missing"
  # Another package manager at work (an update in the background) holds the
  # lock for a while: wait for it instead of failing.
  local wait_lock=(-o DPkg::Lock::Timeout=600)
  local apt=(apt-get "${wait_lock[@]}" install -y --no-install-recommends $missing)
  if [ "$(id -u)" -eq 0 ]; then
    (apt-get "${wait_lock[@]}" update -qq && DEBIAN_FRONTEND=noninteractive "${apt[@]}") && return 0
    echo "Could not install the packages this project needs; apt-get says why above. Then try again:" >&2
    echo "  apt-get update && apt-get install -y $missing" >&2
    exit 1
  elif command -v sudo >/dev/null 2>&1; then
    # Without a password when sudo allows it, else asking for one on the
    # terminal; never waiting for a password nobody can type.
    local sudo=(sudo -n)
    if ! sudo -n true 2>/dev/null && [ -t 0 ]; then
      echo "Installing them needs root rights: sudo asks for your password."
      sudo=(sudo)
    fi
    ("${sudo[@]}" apt-get "${wait_lock[@]}" update -qq && "${sudo[@]}" DEBIAN_FRONTEND=noninteractive "${apt[@]}") &&
      return 0
  fi
  echo "Could not install the packages this project needs. Run as root:" >&2
  echo "  apt-get update && apt-get install -y $missing" >&2
  exit 1
}
