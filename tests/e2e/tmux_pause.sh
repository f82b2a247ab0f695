#!/usr/bin/env bash
# Ctrl-Z on a terminal: an interactive shell in a tmux pane stops a burn job with Ctrl-Z and
# brings it back with fg, and a background burn whose counter line meets `stty tostop`
# (SIGTTOU in the middle of its write) stops and, brought back, ends as if uninterrupted.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
needs tmux tmux

head -c 131072 /dev/urandom >image.bin
job="-t 27C010 --write image.bin --chip 27010 --stats --chip-file"

T=(tmux -S "$WORK/tmux.sock" -f /dev/null)
trap '"${T[@]}" kill-server 2>/dev/null; rm -rf "$WORK"' EXIT
"${T[@]}" new-session -d -s tty -x 150 -y 40 -c "$WORK" "bash --norc --noprofile -i"
keys() { "${T[@]}" send-keys -t tty:0.0 "$@"; }
pane() { "${T[@]}" capture-pane -p -t tty:0.0; }
# shows TEXT [N]: the pane shows TEXT on N lines (1).
shows() { [ "$(pane | grep -c -F -- "$1")" -ge "${2:-1}" ]; }

SESSION=fg
keys -l "stty tostop; set -b; \"$SIM\" $job fg.chip" && keys Enter
check wait_for 10 shows elapsed || fail "no progress line: $(pane)"
keys C-z
check wait_for 10 shows Stopped || fail "Ctrl-Z did not stop the burn: $(pane)"
keys -l fg && keys Enter
check wait_for 10 shows 'write: 131072 bytes ok' && cmp -s fg.chip image.bin || fail "$(pane)"

SESSION=bg
keys -l "\"$SIM\" $job bg.chip &" && keys Enter
check wait_for 10 shows Stopped 2 || fail "the background burn did not stop: $(pane)"
keys -l fg && keys Enter
check wait_for 10 shows 'write: 131072 bytes ok' 2 && cmp -s bg.chip image.bin || fail "$(pane)"

"${T[@]}" kill-server
finish
