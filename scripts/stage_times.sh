# Sourced by test.sh: times each stage it runs and prints a table of them,
# wall time and the CPU time (user + system) of everything the stage ran.
#   kws_stage NAME COMMAND [ARGS...]   runs COMMAND in this shell, timed
#   kws_stage_table                    prints the table (to stdout)
# The CPU time comes from /proc/$$/stat: this shell's own time plus that of
# every child it has waited for (builds, tests, their compilers), read
# without a subshell, whose clock would start at zero.

kws_stage_names=()
kws_stage_wall=()
kws_stage_cpu=()

# User + system time of this shell and its waited-for children, in clock ticks.
kws_cpu_ticks() {
  local stat fields
  read -r stat </proc/$$/stat
  # Fields after the command name, which is in parentheses: the 12th to 15th
  # are utime, stime, cutime and cstime.
  read -r -a fields <<<"${stat##*) }"
  echo $((fields[11] + fields[12] + fields[13] + fields[14]))
}

kws_stage() {
  local name=$1
  shift
  local start=$EPOCHREALTIME cpu_start
  cpu_start=$(kws_cpu_ticks)
  "$@"
  local end=$EPOCHREALTIME cpu_end
  cpu_end=$(kws_cpu_ticks)
  # Milliseconds of wall time, from the microsecond clock.
  local wall=$(((${end/./} - ${start/./}) / 1000))
  kws_stage_names+=("$name")
  kws_stage_wall+=("$wall")
  kws_stage_cpu+=($(((cpu_end - cpu_start) * 1000 / $(getconf CLK_TCK))))
}

kws_minutes() {
  local ms=$1
  printf '%d:%02d.%d' $((ms / 60000)) $((ms / 1000 % 60)) $((ms / 100 % 10))
}

kws_stage_table() {
  [ ${#kws_stage_names[@]} -gt 0 ] || return 0
  local i wall_total=0 cpu_total=0
  echo
  printf '%-44s %10s %10s\n' "Stage" "wall" "user+sys"
  for i in "${!kws_stage_names[@]}"; do
    printf '%-44s %10s %10s\n' "${kws_stage_names[$i]}" "$(kws_minutes "${kws_stage_wall[$i]}")" \
      "$(kws_minutes "${kws_stage_cpu[$i]}")"
    wall_total=$((wall_total + kws_stage_wall[i]))
    cpu_total=$((cpu_total + kws_stage_cpu[i]))
  done
  printf '%-44s %10s %10s\n' "total" "$(kws_minutes "$wall_total")" "$(kws_minutes "$cpu_total")"
}
