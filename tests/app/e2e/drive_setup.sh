# Sourced by the scripts that start SETUP.EXE in the background and drive it:
# the wizard must be gone before the next case starts, whatever the driver
# saw. Gives it ten seconds to close, then ends it. Needs $wine_run.
#   end_setup PID
end_setup() {
  local pid=$1
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  "$wine_run" taskkill /F /IM SETUP.EXE >/dev/null 2>&1
  wait "$pid" 2>/dev/null
}
