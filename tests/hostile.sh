#!/usr/bin/env bash
# Runs a program as users and systems treat it at their worst, and checks
# that nothing is lost: stopped by a signal while writing, a file-size limit,
# a memory limit, a full disk, a closed pipe, a signal the caller ignores.
# Each time the exit status must say what happened, no temporary file may
# remain, and an earlier output must be intact.
#
#   hostile.sh PROGRAM SCRATCH [EMULATOR]
#
# PROGRAM is linkshare or leaklevels (native or .exe); with EMULATOR (Wine)
# only the stop signals are tried, the limits being POSIX ones.
set -uo pipefail
set -m  # background runs get the default signal actions, not an ignored SIGINT
program=$(realpath "$1")
scratch=$2
emulator=${3:-}
name=$(basename "$program" .exe)
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

if [[ $name == linkshare ]]; then
  input_name=downloading.in
  output_name=downloading.out
  # an input of about n lines, making about n lines of output: n downloads,
  # an arrival every unit or two, sizes 1..400, S = 100
  make_input() { awk -v n="$1" 'BEGIN { print n, 100; for (i = 0; i < n; i++) print int(i * 1.5), 1 + (i * 7919) % 400 }'; }
  make_output_of() { make_input "$1"; }
else
  input_name=vase.in
  output_name=vase.out
  # n vases over 10 steps, or 1,000 vases over n steps
  make_input() { awk -v n="$1" 'BEGIN { print n, 10; for (i = 0; i < n; i++) print 1000000 + i, 1 + i % 7 }'; }
  make_output_of() { awk -v n="$1" 'BEGIN { print 1000, n; for (i = 0; i < 1000; i++) print 1000000 + i, 1 + i % 7 }'; }
fi

fresh() {  # a clean folder with an earlier output
  rm -rf "$scratch"
  mkdir -p "$scratch"
  cd "$scratch" || exit 1
  printf 'earlier\n' > "$output_name"
}

# The earlier output as it was, and nothing else beside the input.
check_left_alone() {  # what
  [[ "$(cat "$output_name")" == earlier ]] || fail "$1: the earlier output changed"
  local others
  others=$(ls -A | grep -v -x -e "$input_name" -e "$output_name" -e stderr -e fifo || true)
  [[ -z $others ]] || fail "$1: left behind: $others"
}

# Waits (up to 20 s) until the run has made its temporary file: one with a
# name beside the output, or (Linux) one without a name, open in the process.
wait_for_temporary() {  # pid
  for _ in $(seq 2000); do
    compgen -G "$output_name.*.tmp" >/dev/null && return 0
    for fd in /proc/"$1"/fd/*; do
      [[ $(readlink "$fd" 2>/dev/null) == "$PWD/"*" (deleted)" ]] && return 0
    done
    sleep 0.01
  done
  return 1
}

# --- stopped while writing ----------------------------------------------------
big_input=$scratch.big.in
if [[ $name == linkshare ]]; then make_output_of 3000000 > "$big_input"; else make_output_of 400000000 > "$big_input"; fi
for signal in INT TERM HUP KILL; do
  [[ -n $emulator && $signal == HUP ]] && continue
  fresh
  cp "$big_input" "$input_name"
  ${emulator:+"$emulator"} "$program" > /dev/null 2> stderr &
  pid=$!
  wait_for_temporary "$pid" || fail "$signal: no temporary file appeared"
  kill -"$signal" "$pid"
  wait "$pid"
  status=$?
  [[ $status -ne 0 ]] || fail "$signal: a stopped run exited 0"
  sleep 0.5  # Wine ends its processes after the loader
  check_left_alone "stopped by SIG$signal"
done
rm -f "$big_input"

if [[ -z $emulator ]]; then
  # --- a signal the caller ignores stays ignored ---------------------------------
  fresh
  mkfifo fifo
  make_input 100000 > whole.in
  (trap '' INT; exec "$program" -i fifo > /dev/null 2> stderr) &
  pid=$!
  exec 3> fifo
  head -c 300000 whole.in >&3 2>/dev/null || true
  wait_for_temporary "$pid" || fail "ignored SIGINT: no temporary file appeared"
  kill -INT "$pid" 2>/dev/null
  tail -c +300001 whole.in >&3 2>/dev/null || true
  exec 3>&-
  wait "$pid"
  status=$?
  [[ $status -eq 0 ]] || fail "ignored SIGINT: status $status, $(cat stderr)"
  [[ "$(head -c 7 "$output_name")" != earlier ]] || fail "ignored SIGINT: no output"
  rm -f whole.in

  # --- a file-size limit --------------------------------------------------------
  fresh
  make_output_of 100000 > "$input_name"
  (ulimit -f 100; exec "$program" 2> stderr)
  status=$?
  [[ $status -eq 1 ]] || fail "file-size limit: status $status"
  grep -q "$output_name: File too large" stderr || fail "file-size limit: $(cat stderr)"
  check_left_alone "file-size limit"

  # --- a memory limit -----------------------------------------------------------
  if [[ -z ${HOSTILE_NO_MEMORY_LIMIT:-} && $name == linkshare ]]; then
    fresh
    awk 'BEGIN { n = 2000000; print n, 1; for (i = 0; i < n; i++) print 0, 1 + (i * 7919) % 100000 }' > "$input_name"
    (ulimit -v 60000; exec "$program" 2> stderr)
    status=$?
    [[ $status -eq 1 ]] || fail "memory limit: status $status"
    grep -qx "$name: out of memory" stderr || fail "memory limit: $(cat stderr)"
    check_left_alone "memory limit"
  fi

  # --- a full disk --------------------------------------------------------------
  fresh
  make_input 1000 > "$input_name"
  "$program" -o /dev/full 2> stderr
  status=$?
  [[ $status -eq 1 ]] || fail "full disk: status $status"
  grep -q "/dev/full: No space left on device" stderr || fail "full disk: $(cat stderr)"
  "$program" -o - > /dev/full 2> stderr
  status=$?
  [[ $status -eq 1 ]] || fail "full disk on stdout: status $status"
  grep -q "<stdout>: No space left on device" stderr || fail "full disk on stdout: $(cat stderr)"

  # --- a closed pipe ------------------------------------------------------------
  fresh
  make_output_of 200000 > "$input_name"
  "$program" -o - 2> stderr | head -c 10 > /dev/null
  status=${PIPESTATUS[0]}
  [[ $status -eq 1 ]] || fail "closed pipe: status $status"
  grep -q "<stdout>: Broken pipe" stderr || fail "closed pipe: $(cat stderr)"
  check_left_alone "closed pipe"
fi

rm -rf "$scratch"
[[ $failures -eq 0 ]] && echo "hostile surroundings: all passed" && exit 0
exit 1
