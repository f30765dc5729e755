# Sourced by the scripts that start SETUP.EXE in the background and drive
# it with uidriver. Need $wine_run; drive_setup also $setup, $driver and
# $work.

# The wizard must be gone before the next case starts, whatever the driver
# saw. Gives it ten seconds to close, then ends it.
#   end_setup PID
end_setup() {
  local pid=$1
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  "$wine_run" taskkill /F /IM SETUP.EXE >/dev/null 2>&1
  wait "$pid" 2>/dev/null
}

# Runs $setup and the driver with the given steps, the driver's report in
# $work/driver.log, and returns the driver's status. LOCALE is the user's
# locale for Wine, or empty for language "C", which has no catalog, so the
# wizard shows the texts as the code has them.
#   drive_setup LOCALE STEP...
drive_setup() {
  local locale=$1
  shift
  if [ -n "$locale" ]; then
    # LANG would take precedence over the user locale that LC_ALL gives Wine.
    env -u LANG LC_ALL="$locale.UTF-8" "$wine_run" "$setup" >/dev/null 2>&1 &
  else
    LANG=C.UTF-8 "$wine_run" "$setup" >/dev/null 2>&1 &
  fi
  local setup_pid=$!
  "$wine_run" "$driver" "$@" >"$work/driver.log" 2>&1
  local rc=$?
  end_setup $setup_pid
  return $rc
}

# Runs COMMAND and says what was not as expected when it fails.
#   check DESCRIPTION COMMAND...
check() {
  if ! "${@:2}"; then
    echo "  not as expected: $1"
    return 1
  fi
}
