# Sourced by the end-to-end runs.
# exit_status PID TENTHS: waits up to TENTHS tenths of a second for the
# program (a child of this shell) to end and sets quit_status to its exit
# status, or to "timeout".
exit_status() {
  quit_status=timeout
  for _ in $(seq "$2"); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1" && quit_status=0 || quit_status=$?
      return 0
    fi
    sleep 0.1
  done
}
