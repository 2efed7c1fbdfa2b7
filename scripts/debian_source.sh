#!/usr/bin/env bash
# Fetches and unpacks a Debian source package for the WebAssembly build:
#   scripts/debian_source.sh WORKDIR PACKAGE
# Prints the folder the source was unpacked into. The sources are the
# machine's own apt sources turned into deb-src entries in a private apt
# folder under WORKDIR, so no mirror is named here and the system's apt
# state is left alone. A package already unpacked is not fetched again.
set -euo pipefail
work=$1
package=$2

mkdir -p "$work"
work=$(cd "$work" && pwd)
if [ -f "$work/$package.dir" ] && [ -d "$(cat "$work/$package.dir")" ]; then
  cat "$work/$package.dir"
  exit 0
fi

apt_dir="$work/apt"
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"

# deb822 files (.sources) and one-line lists alike, each source entry once.
shopt -s nullglob
for file in /etc/apt/sources.list.d/*.sources; do
  sed -e 's/^Types:.*/Types: deb-src/' "$file" >"$apt_dir/sources/$(basename "$file")"
done
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] || continue
  sed -n -e 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" | sort -u >"$apt_dir/sources/$(basename "$file" .list)-src.list"
done

apt_opts=(
  -o Dir::Etc::SourceList=/dev/null
  -o Dir::Etc::SourceParts="$apt_dir/sources"
  -o Dir::State::Lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache"
  -o Debug::NoLocking=1
  -o APT::Sandbox::User=root
)
if [ -z "$(ls "$apt_dir/lists" | grep -i sources || true)" ]; then
  apt-get "${apt_opts[@]}" -qq update >&2
fi

# The versions apt knows, the main suite's first: a point release's security
# upload may be gone from the mirror already, the release's own stays.
mapfile -t versions < <(apt-cache "${apt_opts[@]}" madison "$package" |
  awk -F'|' '$3 ~ /Sources/ { gsub(/ /, "", $2); main = ($3 !~ /-(security|updates)/); print (main ? 0 : 1) " " $2 }' |
  sort -s -k1,1n | awk '{ print $2 }' | awk '!seen[$0]++')
if [ ${#versions[@]} -eq 0 ]; then
  echo "debian_source.sh: apt knows no source package $package; is a deb-src entry reachable?" >&2
  exit 1
fi

src="$work/src-$package"
for version in "${versions[@]}"; do
  rm -rf "$src"
  mkdir -p "$src"
  if (cd "$src" && apt-get "${apt_opts[@]}" -qq source "$package=$version" >&2); then
    dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    if [ -n "$dir" ]; then
      echo "$dir" >"$work/$package.dir"
      echo "$dir"
      exit 0
    fi
  fi
  echo "debian_source.sh: $package $version could not be fetched; trying the next version" >&2
done
echo "debian_source.sh: no version of $package could be fetched" >&2
exit 1
