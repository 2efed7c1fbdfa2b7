# bash completion for kestro-welcome-cli: commands, options, step names,
# receiver models and file names.

# Candidates are taken from compgen's output unquoted, split at new lines
# only; globbing stays off while they are, or a file named "[ab].bmp" would
# be offered as the "a.bmp" it matches. File names, which may hold a new line
# themselves, come from a glob of the word taken literally instead, one
# candidate per name.
_kestro_welcome_cli_files() {  # [PATTERN]: files matching it, and folders ('*/': folders only)
  local -
  local cur=$1 pattern=$2 name restore
  compopt -o filenames 2>/dev/null
  COMPREPLY=()
  if [[ $cur == "~"* ]]; then  # compgen expands the tilde; such names are rare
    set -f
    if [ -n "$pattern" ]; then
      COMPREPLY=($(compgen -f -X "!$pattern" -- "$cur") $(compgen -d -- "$cur"))
    else
      COMPREPLY=($(compgen -f -- "$cur"))
    fi
    return
  fi
  restore=$(shopt -p nullglob dotglob)
  shopt -s nullglob
  # As compgen: hidden names only for a word that starts them.
  [[ ${cur##*/} == .* ]] && shopt -s dotglob
  set +f
  for name in "$cur"*; do
    if [ -z "$pattern" ] || [ -d "$name" ] || [[ $name == $pattern ]]; then
      COMPREPLY+=("$name")
    fi
  done
  eval "$restore"
}

_kestro_welcome_cli() {
  local -
  set -f
  local IFS=$'\n'
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands='run make sample inspect import preview step'
  local steps='convbmp rawconv gzip_f9 dd addheader appendbin mkusbimg200 mkusbimg300 mkusbimg400 mkserialimg'
  local models='kestro100s kestro400 QuorvatelMurraTwin8M'
  local options='--home --verbose --quiet --json --help --version'
  COMPREPLY=()

  # The command is the first word that is neither an option nor --home's folder.
  # Options may also follow the command.
  local i=1 command='' at=0
  while [ "$i" -lt "$COMP_CWORD" ]; do
    case ${COMP_WORDS[i]} in
      --home) i=$((i + 1)) ;;
      -*) ;;
      *) command=${COMP_WORDS[i]} at=$i; break ;;
    esac
    i=$((i + 1))
  done

  if [ -z "$command" ]; then
    if [ "$prev" = --home ]; then
      _kestro_welcome_cli_files "$cur" '*/'
    elif [[ $cur == -* ]]; then
      COMPREPLY=($(IFS=' ' compgen -W "$options" -- "$cur"))
    else
      COMPREPLY=($(IFS=' ' compgen -W "$commands" -- "$cur"))
    fi
    return 0
  fi

  # "16:9" is split at its colon by the shell's word breaks (COMP_WORDBREAKS):
  # the value is read from the line itself, and only what follows its last
  # colon is offered, since that is the part the shell replaces.
  local line=${COMP_LINE:0:COMP_POINT} before_words
  local word=${line##*[[:space:]]}
  IFS=$' \t' read -r -a before_words <<<"${line%"$word"}"
  if [ "${before_words[-1]}" = --display ] && { [ "$command" = import ] || [ "$command" = preview ]; }; then
    COMPREPLY=($(IFS=' ' compgen -W "4:3 16:9 square" -- "$word"))
    [[ $word == *:* ]] && COMPREPLY=("${COMPREPLY[@]#"${word%:*}:"}")
    return 0
  fi

  local n=$((COMP_CWORD - at))  # the word's place after the command
  if [ "$prev" = --home ]; then
    _kestro_welcome_cli_files "$cur" '*/'
    return 0
  fi
  case $command in
    run) ;;
    make) _kestro_welcome_cli_files "$cur" '*.[bB][mM][pP]' ;;
    sample)
      if [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--force --test-card $options" -- "$cur"))
      else
        _kestro_welcome_cli_files "$cur"
      fi
      ;;
    inspect)
      if [ "$prev" = --extract ]; then
        _kestro_welcome_cli_files "$cur" '*.[bB][mM][pP]'
      elif [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--extract --force $options" -- "$cur"))
      else
        _kestro_welcome_cli_files "$cur" '*.[iI][mM][gG]'
      fi
      ;;
    import)
      if [ "$prev" = --background ]; then
        :  # a colour: #rrggbb or a name
      elif [ "$prev" = --safe ]; then
        COMPREPLY=($(IFS=' ' compgen -W "action title none" -- "$cur"))
      elif [ "$prev" = --caption-position ]; then
        COMPREPLY=($(IFS=' ' compgen -W "top bottom" -- "$cur"))
      elif [ "$prev" = --dither ]; then
        COMPREPLY=($(IFS=' ' compgen -W "auto seen selective none" -- "$cur"))
      elif [ "$prev" = --caption ] || [ "$prev" = --caption-colour ]; then
        :  # a text, a colour
      elif [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--background --caption --caption-band --caption-colour --caption-position --display --dither --fill --force --no-fit --safe $options" -- "$cur"))
      else
        _kestro_welcome_cli_files "$cur"
      fi
      ;;
    preview)
      if [ "$prev" = --overscan ]; then
        :  # a percentage
      elif [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--display --force --guides --overscan $options" -- "$cur"))
      elif [ "$n" -eq 1 ]; then
        _kestro_welcome_cli_files "$cur"
      else
        _kestro_welcome_cli_files "$cur" '*.[pP][nN][gG]'
      fi
      ;;
    step)
      if [ "$n" -eq 1 ]; then
        COMPREPLY=($(IFS=' ' compgen -W "$steps" -- "$cur"))
      elif [ "${COMP_WORDS[at + 1]}" = mkserialimg ] && [ "$n" -eq 4 ]; then
        COMPREPLY=($(IFS=' ' compgen -W "$models" -- "$cur"))
      elif [ "${COMP_WORDS[at + 1]}" = appendbin ] && [ "$n" -eq 2 ]; then
        :  # a size: decimal or 0x hex
      else
        _kestro_welcome_cli_files "$cur"
      fi
      ;;
  esac
  return 0
}

complete -F _kestro_welcome_cli kestro-welcome-cli
