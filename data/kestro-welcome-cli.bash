# bash completion for kestro-welcome-cli: commands, options, step names,
# receiver models and file names.

_kestro_welcome_cli_files() {  # [PATTERN]: files matching it, and folders
  local cur=$1 pattern=$2
  compopt -o filenames 2>/dev/null
  if [ -n "$pattern" ]; then
    COMPREPLY=($(compgen -f -X "!$pattern" -- "$cur") $(compgen -d -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_kestro_welcome_cli() {
  local IFS=$'\n'
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands='run make sample inspect import step'
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
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -d -- "$cur"))
    elif [[ $cur == -* ]]; then
      COMPREPLY=($(IFS=' ' compgen -W "$options" -- "$cur"))
    else
      COMPREPLY=($(IFS=' ' compgen -W "$commands" -- "$cur"))
    fi
    return 0
  fi

  local n=$((COMP_CWORD - at))  # the word's place after the command
  if [ "$prev" = --home ]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
    return 0
  fi
  case $command in
    run) ;;
    make) _kestro_welcome_cli_files "$cur" '*.[bB][mM][pP]' ;;
    sample) [ "$n" -eq 1 ] && _kestro_welcome_cli_files "$cur" ;;
    inspect)
      if [ "$prev" = --extract ]; then
        _kestro_welcome_cli_files "$cur" '*.[bB][mM][pP]'
      elif [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--extract $options" -- "$cur"))
      else
        _kestro_welcome_cli_files "$cur" '*.[iI][mM][gG]'
      fi
      ;;
    import)
      if [ "$prev" = --background ]; then
        :  # a colour: #rrggbb or a name
      elif [[ $cur == -* ]]; then
        COMPREPLY=($(IFS=' ' compgen -W "--background --fill --no-fit $options" -- "$cur"))
      else
        _kestro_welcome_cli_files "$cur"
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
