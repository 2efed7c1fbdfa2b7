#!/usr/bin/env bash
# Looks into the Debian package that ./package.sh made: its name, control
# fields (dpkg-deb -I) and files (dpkg-deb -c).
#   package_test.sh DEB VERSION
set -euo pipefail
deb=$1 version=$2

fail() {
  echo "FAIL: $deb: $*" >&2
  exit 1
}

arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "kestro-welcome_${version}_${arch}.deb" ] || fail "not named kestro-welcome_${version}_${arch}.deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestro-welcome ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# Dependencies as dpkg-shlibdeps computed them from the programs.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libimagequant0 zlib1g libssl3; do
  [[ ", $(field Depends)," == *", $lib ("* ]] || fail "Depends has no versioned $lib: $(field Depends)"
done
for plugin in qt6-image-formats-plugins libqt6svg6; do
  [[ ", $(field Recommends)," == *", $plugin,"* ]] || fail "Recommends has no $plugin: $(field Recommends)"
done
# A synopsis line and a longer description under it.
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no long description"

files=$(dpkg-deb -c "$deb" | awk '{ print $NF }' | grep -v '/$' | sed 's|^\./||' | sort)
expected=(
  usr/bin/kestro-welcome
  usr/bin/kestro-welcome-cli
  usr/share/applications/kestro-welcome.desktop
  usr/share/bash-completion/completions/kestro-welcome-cli
  usr/share/doc/kestro-welcome/copyright
  usr/share/icons/hicolor/scalable/apps/kestro-welcome.svg
  usr/share/man/man1/kestro-welcome-cli.1.gz
  usr/share/man/man1/kestro-welcome.1.gz
)
for size in 16 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/kestro-welcome.png"); done
# A manual page for each command of the command line.
for command in make run inspect import preview sample step; do
  expected+=("usr/share/man/man1/kestro-welcome-cli-$command.1.gz")
done
for file in "${expected[@]}"; do grep -qxF "$file" <<<"$files" || fail "does not hold $file"; done
grep -qx 'usr/share/metainfo/.*\.metainfo\.xml' <<<"$files" || fail "holds no metainfo"
[ "$(wc -l <<<"$files")" -eq $((${#expected[@]} + 1)) ] || fail "holds more than expected: $files"
echo "$(basename "$deb"): $(wc -l <<<"$files") files; Depends: $(field Depends)"
