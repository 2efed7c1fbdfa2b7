# Sourced by run.sh and test.sh: installs the Debian packages this project
# builds with, when any is missing. Nothing is downloaded from anywhere else.

KWS_PACKAGES=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libgtest-dev
  qt6-base-dev libgl-dev
  libimagequant-dev
  gzip
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
  local apt=(apt-get install -y --no-install-recommends $missing)
  if [ "$(id -u)" -eq 0 ]; then
    (apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${apt[@]}") && return 0
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    (sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive "${apt[@]}") && return 0
  fi
  echo "Could not install the packages this project needs. Run as root:" >&2
  echo "  apt-get update && apt-get install -y $missing" >&2
  exit 1
}
