#!/usr/bin/env bash
# What cmake --install puts on the system, checked in a staging folder inside
# the build folder; the installed programs run only with --help and --version.
#   install_test.sh CHECK SOURCE_DIR BUILD_DIR
# CHECK: layout, desktop-entry, metainfo or completion. Exit status 77 means
# skipped: the checking tool is not installed.
set -euo pipefail
check=$1 src=$2 build=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The version the build compiles in, as the command line says it.
project_version() { "$build/bin/kestro-welcome-cli" --version | awk '{ print $2 }'; }

check_layout() {
  local stage="$build/install-test/stage"
  rm -rf "$build/install-test"
  mkdir -p "$build/install-test/runtime"
  chmod 700 "$build/install-test/runtime"
  cmake --install "$build" --prefix "$stage" >/dev/null

  local expected=(
    bin/kestro-welcome
    bin/kestro-welcome-cli
    share/applications/kestro-welcome.desktop
    share/icons/hicolor/scalable/apps/kestro-welcome.svg
    share/man/man1/kestro-welcome.1.gz
    share/man/man1/kestro-welcome-cli.1.gz
    share/bash-completion/completions/kestro-welcome-cli
    share/doc/kestro-welcome/copyright
  )
  local size
  for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/kestro-welcome.png"); done
  # A manual page for each command the command line lists.
  local commands command
  commands=$(commands_listed)
  [ -n "$commands" ] || fail "kestro-welcome-cli --help lists no commands"
  for command in $commands; do expected+=("share/man/man1/kestro-welcome-cli-$command.1.gz"); done
  local file
  for file in "${expected[@]}"; do [ -f "$stage/$file" ] || fail "not installed: $file"; done
  local metainfo=("$stage"/share/metainfo/*.metainfo.xml)
  [ "${#metainfo[@]}" -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "not installed: share/metainfo/<id>.metainfo.xml"
  # Nothing else: no libraries, headers or test programs.
  local extra
  extra=$(cd "$stage" && find . -type f | sed 's|^\./||' | sort |
          grep -vxF -f <(printf '%s\n' "${expected[@]}" "${metainfo[0]#"$stage/"}") || true)
  [ -z "$extra" ] || fail "installed but not expected: $extra"

  # Each icon is the size its folder says (width and height from the PNG header).
  for size in 16 24 32 48 64 128 256; do
    local dims
    dims=$(od -An -tu1 -j16 -N8 "$stage/share/icons/hicolor/${size}x${size}/apps/kestro-welcome.png" |
           awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
    [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
  done

  # The installed programs answer --help and --version without a display.
  local version
  version=$(project_version)
  local program
  for program in kestro-welcome-cli kestro-welcome; do
    local out
    out=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$build/install-test/runtime" "$stage/bin/$program" --version)
    [ "$out" = "$program $version" ] || fail "$program --version says \"$out\""
    out=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$build/install-test/runtime" "$stage/bin/$program" --help)
    grep -q "^Usage: $program " <<<"$out" || fail "$program --help has no usage line"
    # The manual page is made from that help.
    local page
    page=$(zcat "$stage/share/man/man1/$program.1.gz")
    grep -q "^\.TH ${program^^} \"1\" .* \"$program $version\"" <<<"$page" || fail "$program.1: no title with the version"
    grep -q "^$program \\\\- " <<<"$page" || fail "$program.1: no NAME line"
    grep -q '^\\fB\\-\\-version\\fR' <<<"$page" || fail "$program.1: --version is not described"
    grep -q '^\.SH "SEE ALSO"' <<<"$page" || fail "$program.1: no SEE ALSO"
  done
  check_command_pages "$stage" "$version" $commands
  grep -q "GNU GENERAL PUBLIC LICENSE" "$stage/share/doc/kestro-welcome/copyright" || fail "copyright: no licence text"
  rm -rf "$build/install-test"
}

# The commands kestro-welcome-cli --help lists, one a line.
commands_listed() {
  "$build/bin/kestro-welcome-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\).*/\1/p'
}

# check_command_pages STAGE VERSION COMMAND...: each command's page has its
# title, each option its --help lists, and a JSON section; the program's own
# page has the receivers and names each command's page.
check_command_pages() {
  local stage=$1 version=$2 command
  shift 2
  local main
  main=$(zcat "$stage/share/man/man1/kestro-welcome-cli.1.gz")
  grep -q '^\.SH RECEIVERS' <<<"$main" || fail "kestro-welcome-cli.1: no receivers"
  [ "$(grep -c 'serial model name' <<<"$main")" -eq 3 ] || fail "kestro-welcome-cli.1: not three receivers"
  for command in "$@"; do
    local name="kestro-welcome-cli-$command" page option
    page=$(zcat "$stage/share/man/man1/$name.1.gz")
    grep -q "^\.TH ${name^^} \"1\" .* \"kestro-welcome-cli $version\"" <<<"$page" || fail "$name.1: no title with the version"
    grep -q "^${name//-/\\\\-} \\\\- " <<<"$page" || fail "$name.1: no NAME line"
    grep -q '^\.SH JSON' <<<"$page" || fail "$name.1: no JSON keys"
    grep -qF ".BR $name (1)" <<<"$main" || fail "kestro-welcome-cli.1 does not name $name(1)"
    for option in $("$build/bin/kestro-welcome-cli" "$command" --help | sed -n 's/^  \(-., \|    \)\(--[a-z-]*\).*/\2/p'); do
      grep -qF "\fB${option//-/\\-}\fR" <<<"$page" || fail "$name.1: $option is not described"
    done
  done
}

check_desktop_entry() {
  local entry="$src/data/kestro-welcome.desktop"
  local key
  for key in 'Exec=kestro-welcome %f' 'Icon=kestro-welcome' 'MimeType=image/bmp;image/png;image/jpeg;image/gif;'; do
    grep -qxF "$key" "$entry" || fail "desktop entry: no line \"$key\""
  done
  grep -q '^Keywords=.' "$entry" || fail "desktop entry: no keywords"
  command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate is not installed"; exit 77; }
  local out
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate: $out"
}

check_metainfo() {
  local metainfo=("$build"/data/*.metainfo.xml)
  [ -f "${metainfo[0]}" ] || fail "no metainfo in $build/data"
  # The newest release is the version the build compiles in.
  local release
  release=$(grep -o '<release version="[^"]*"' "${metainfo[0]}" | head -n 1 | cut -d'"' -f2)
  [ "$release" = "$(project_version)" ] || fail "metainfo: newest release $release, the program is $(project_version)"
  command -v appstreamcli >/dev/null || { echo "appstreamcli is not installed"; exit 77; }
  appstreamcli validate --no-net "${metainfo[0]}" || fail "appstreamcli validate"
}

# Completes LINE as bash would after the last character; prints the
# candidates sorted, one line.
complete_line() {
  (
    set +eu  # as in an interactive shell
    cd "$1"
    # shellcheck source=/dev/null
    source "$src/data/kestro-welcome-cli.bash"
    local line=$2 word parts
    # Split as the shell's word breaks split it: a colon is a word of its own.
    read -r -a parts <<<"$line"
    COMP_WORDS=()
    for word in "${parts[@]}"; do
      while [[ $word == *:* ]]; do
        [ -n "${word%%:*}" ] && COMP_WORDS+=("${word%%:*}")
        COMP_WORDS+=(':')
        word=${word#*:}
      done
      [ -n "$word" ] && COMP_WORDS+=("$word")
    done
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    _kestro_welcome_cli 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
  )
}

# completes_as DIR "LINE|CANDIDATES"...: each line completes, in DIR, to its
# candidates; says which do not, and fails then.
completes_as() {
  local dir=$1 c failed=0
  shift
  for c in "$@"; do
    local line=${c%%|*} want=${c#*|} got
    got=$(complete_line "$dir" "$line")
    if [ "$got" != "$want" ]; then
      echo "\"$line\": completes to \"$got\", expected \"$want\"" >&2
      failed=1
    fi
  done
  return "$failed"
}

check_completion() {
  local dir="$build/completion-test"
  rm -rf "$dir"
  mkdir -p "$dir/pictures" "$dir/home"
  touch "$dir/logo.bmp" "$dir/photo.png" "$dir/x.img"
  local cases=(
    "kestro-welcome-cli |import inspect make preview run sample step"
    "kestro-welcome-cli s|sample step"
    "kestro-welcome-cli -|--help --home --json --quiet --verbose --version"
    "kestro-welcome-cli --home |home pictures"
    "kestro-welcome-cli --home home |import inspect make preview run sample step"
    "kestro-welcome-cli run |"
    "kestro-welcome-cli make |home logo.bmp pictures"
    "kestro-welcome-cli make logo.bmp |home logo.bmp pictures"
    "kestro-welcome-cli sample |home logo.bmp photo.png pictures x.img"
    "kestro-welcome-cli inspect |home pictures x.img"
    "kestro-welcome-cli inspect x.img -|--extract --force --help --home --json --quiet --verbose --version"
    "kestro-welcome-cli inspect x.img --extract |home logo.bmp pictures"
    "kestro-welcome-cli import |home logo.bmp photo.png pictures x.img"
    "kestro-welcome-cli import photo.png logo.bmp --|--background --caption --caption-band --caption-colour --caption-position --display --dither --fill --force --help --home --json --no-fit --quiet --safe --verbose --version"
    "kestro-welcome-cli import photo.png logo.bmp --display |16:9 4:3 square"
    "kestro-welcome-cli import photo.png logo.bmp --dither |auto none seen selective"
    "kestro-welcome-cli import photo.png logo.bmp --safe |action none title"
    "kestro-welcome-cli sample x.bmp -|--force --help --home --json --quiet --test-card --verbose --version"
    "kestro-welcome-cli preview |home logo.bmp photo.png pictures x.img"
    "kestro-welcome-cli preview x.img |home photo.png pictures"
    "kestro-welcome-cli preview x.img y.png --|--display --force --guides --help --home --json --overscan --quiet --verbose --version"
    "kestro-welcome-cli preview x.img y.png --display |16:9 4:3 square"
    "kestro-welcome-cli preview x.img y.png --display 1|16:9"
    "kestro-welcome-cli import photo.png logo.bmp --display 16:|9"
    "kestro-welcome-cli preview x.img y.png --display 4:|3"
    "kestro-welcome-cli import photo.png --background |"
    "kestro-welcome-cli step |addheader appendbin convbmp dd gzip_f9 mkserialimg mkusbimg200 mkusbimg300 mkusbimg400 rawconv"
    "kestro-welcome-cli step mk|mkserialimg mkusbimg200 mkusbimg300 mkusbimg400"
    "kestro-welcome-cli step gzip_f9 |home logo.bmp photo.png pictures x.img"
    "kestro-welcome-cli step appendbin |"
    "kestro-welcome-cli step mkserialimg in out |QuorvatelMurraTwin8M kestro100s kestro400"
    "kestro-welcome-cli step mkserialimg in out k|kestro100s kestro400"
    "kestro-welcome-cli --home home step mkserialimg in out k|kestro100s kestro400"
  )
  local failed=0
  completes_as "$dir" "${cases[@]}" || failed=1
  # Names that are globs themselves are offered as they are, never as the
  # files they would match.
  local globs="$build/completion-globs"
  rm -rf "$globs"
  mkdir -p "$globs"
  touch "$globs/[ab].bmp" "$globs/a.bmp" "$globs/*.img"
  completes_as "$globs" "kestro-welcome-cli make [|[ab].bmp" "kestro-welcome-cli inspect *|*.img" || failed=1
  # A name with a new line in it is one candidate, the name itself.
  local odd="$build/completion-names"
  rm -rf "$odd"
  mkdir -p "$odd"
  touch "$odd/two"$'\n'"lines.bmp" "$odd/twin.bmp"
  mkdir "$odd/my"$'\n'"home"
  local got
  got=$(
    cd "$odd" && source "$src/data/kestro-welcome-cli.bash" &&
      COMP_WORDS=(kestro-welcome-cli make tw) COMP_CWORD=2 COMP_LINE='kestro-welcome-cli make tw' COMP_POINT=26 &&
      _kestro_welcome_cli 2>/dev/null && printf '<%s>' "${COMPREPLY[@]}"
  )
  [ "$got" = "<twin.bmp><two"$'\n'"lines.bmp>" ] || {
    echo "a name with a new line completes to $(printf %q "$got")" >&2
    failed=1
  }
  got=$(
    cd "$odd" && source "$src/data/kestro-welcome-cli.bash" &&
      COMP_WORDS=(kestro-welcome-cli --home m) COMP_CWORD=2 COMP_LINE='kestro-welcome-cli --home m' COMP_POINT=27 &&
      _kestro_welcome_cli 2>/dev/null && printf '<%s>' "${COMPREPLY[@]}"
  )
  [ "$got" = "<my"$'\n'"home>" ] || {
    echo "a folder with a new line completes to $(printf %q "$got")" >&2
    failed=1
  }
  [ "$failed" -eq 0 ] || fail "completion"

  # The lists agree with the program: each command's options completed are
  # those its help lists (made from the command table), and the common ones,
  local cli="$build/bin/kestro-welcome-cli" command
  for command in $(complete_line "$dir" "kestro-welcome-cli "); do
    local listed
    listed=$("$cli" "$command" --help | sed -n 's/^  \(-., \|    \)\(--[a-z-]*\).*/\2/p')
    [ -n "$listed" ] || continue  # no options: it completes names of files
    listed=$(printf '%s\n' $listed --help --home --json --quiet --verbose --version | sort | paste -sd' ')
    [ "$(complete_line "$dir" "kestro-welcome-cli $command --")" = "$listed" ] ||
      fail "$command completes \"$(complete_line "$dir" "kestro-welcome-cli $command --")\", its help lists \"$listed\""
  done
  # every step completed is one it knows,
  local step
  for step in $(complete_line "$dir" "kestro-welcome-cli step "); do
    local said
    said=$("$cli" step "$step" 2>&1 || true)  # a usage error: the step's arguments are missing
    grep -q "usage: .*step $step " <<<"$said" || fail "completes step $step, which the program does not take: $said"
  done
  # and the models completed are the ones the pipeline's serial images carry.
  # (logo.bmp is an empty file touched above: the sample replaces it only when told.)
  (cd "$dir" && "$cli" sample --force logo.bmp >/dev/null 2>&1 && "$cli" --home home make logo.bmp >/dev/null)
  local carried
  carried=$("$cli" inspect --verbose "$dir"/home/Output/logo_*_serial_welcome.img |
            sed -n 's/.*model name "\([^"]*\)".*/\1/p' | sort | paste -sd' ')
  [ "$carried" = "$(complete_line "$dir" "kestro-welcome-cli step mkserialimg in out ")" ] ||
    fail "the serial images carry the models \"$carried\""
  rm -rf "$dir"
}

case $check in
  layout) check_layout ;;
  desktop-entry) check_desktop_entry ;;
  metainfo) check_metainfo ;;
  completion) check_completion ;;
  *) fail "unknown check $check" ;;
esac
