#!/usr/bin/env bash
# vantrel-sim in a real terminal: a tmux pane of 100x60 characters, driven by key presses
# and read back with capture-pane, so that the screen is checked as a person sees it (the
# clear sequence, the highlight, the box frames, the progress counter overwriting itself).
#
# Walk: port answer 1, type 27C256, load a 32 KiB image, burn it, verify it, exit.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
needs tmux tmux

# A server of our own on a socket in the scratch directory: no user configuration, no other
# sessions.
TMUX_CMD=(tmux -S "$WORK/tmux.sock" -f /dev/null)
PANE="vantrel:0.0"
SESSION=tmux
trap '"${TMUX_CMD[@]}" kill-server >/dev/null 2>&1; rm -rf "$WORK"' EXIT

screen() { "${TMUX_CMD[@]}" capture-pane -p -t "$PANE"; }
show_screen() {
    echo "---- screen ----"
    screen
    echo "----------------"
}
keys() { "${TMUX_CMD[@]}" send-keys -t "$PANE" "$@"; }
# Type a line: the text literally, then Enter.
line() {
    [ -n "$1" ] && keys -l "$1"
    keys Enter
}

# Poll the pane until it shows TEXT (fixed string), for at most SECONDS; the script ends
# if it never does.
shown() { screen | grep -qF -- "$1"; }
wait_screen() {
    wait_for "${2:-20}" shown "$1" && return 0
    check && fail "timed out after ${2:-20}s waiting for: $1"
    show_screen
    finish
}

# The menu is drawn after 26 line feeds and the clear sequence: nothing of the earlier
# screen may be left above it, so the first line with any text is the status line.
check_menu_on_clear_screen() {
    check
    local first
    first=$(screen | grep -m1 -v '^[[:space:]]*$')
    case $first in
    "Vantrel II at 0x378    [ chsum: #"*) ;;
    *)
        fail "first text on the screen is not the status line: '$first'"
        show_screen
        ;;
    esac
}

# The box waiting for Enter at the bottom of the screen, whose heading or text is TEXT: every
# line of the frame equally long, frame lines "+---+", the others "| ... |", the last one
# "| press Enter...". Puts the line just above the frame (the counter line of a chip run)
# into $above_box and the one above that into $above_box2.
above_box=
above_box2=
check_box() {
    check
    local text=$1
    local -a rows
    mapfile -t rows < <(screen)
    local i top=-1
    for ((i = 0; i < ${#rows[@]}; i++)); do
        [[ ${rows[i]} == "| press Enter..."* ]] && top=$((i - 3))
    done
    if ((top < 1)) || ((top + 4 >= ${#rows[@]})) ||
        [[ ${rows[top + 1]} != "| $text"* && ${rows[top + 2]} != "| $text"* ]]; then
        fail "no box with '$text' waiting for Enter"
        show_screen
        return
    fi
    local width=${#rows[top]} ok=1
    [[ ${rows[top]} =~ ^\+-+\+$ ]] || ok=0
    [[ ${rows[top + 4]} == "${rows[top]}" ]] || ok=0
    for i in 1 2 3; do
        local r=${rows[top + i]}
        if ((${#r} != width)) || [[ $r != "| "* ]] || [[ $r != *" |" ]]; then
            ok=0
        fi
    done
    if ((ok == 0)); then
        fail "the frame of the box '$text' is not aligned"
        printf '  [%s]\n' "${rows[@]:top:5}"
    fi
    above_box=${rows[top - 1]}
    above_box2=${rows[top - 2]:-}
}

# A chip run's counter overwrites itself with a carriage return: between the run's first
# line and its box there is exactly one line, and it shows only the range end.
check_counter_line() {
    check
    local run_line=$1 last=$2
    [ "$above_box" = "$last" ] ||
        fail "the counter line before the box shows '$above_box', not just $last"
    [ "$above_box2" = "$run_line" ] ||
        fail "'$above_box2' between '$run_line' and the counter line: the counter did not stay on one line"
}

# ---- An image of 32 KiB, a whole 27C256, every byte different from its neighbours ----
perl -e 'print pack("C*", map { ($_ * 157 + ($_ >> 8) * 59 + 90) & 255 } 0 .. 32767)' \
    >"$WORK/image.bin"
[ "$(stat -c %s "$WORK/image.bin")" = 32768 ] || { echo "FAIL: could not make the image"; exit 1; }

# The pane runs the program and then keeps showing its last screen; the exit status goes
# to a file.
cat >"$WORK/run.sh" <<EOF
"$SIM" --chip 27256 --chip-file "$WORK/chip.bin"
echo \$? >"$WORK/status"
exec sleep 3600
EOF
"${TMUX_CMD[@]}" new-session -d -s vantrel -x 100 -y 60 -c "$WORK" bash "$WORK/run.sh" ||
    { echo "FAIL: tmux did not start"; exit 1; }

# ---- Port dialogue ----
wait_screen "3: autoscan"
check && screen | grep -qxF ">" || fail "the port prompt '>' is missing"
line 1
wait_screen "Vantrel II at 0x378"
check_menu_on_clear_screen
check && screen | grep -qF "[ chsum: #0000  until  0xFFFF / delay(2) ]" ||
    fail "status line of the first menu"
check && screen | grep -qF "[27C512]" || fail "27C512 is not highlighted at start"
check && ! screen | grep -qF "Vantrel found" || fail "a box after answer 1 with the board on 0x378"

# ---- Type 27C256 ----
line a
wait_screen "[27C256]"
check_menu_on_clear_screen
check && ! screen | grep -qF "[27C512]" || fail "27C512 still highlighted after choosing 27C256"
check && screen | grep -qF "b:   27C512" || fail "27C512 not shown plain after choosing 27C256"

# ---- Load the image ----
line l
wait_screen "new filename>"
line "$WORK/image.bin"
wait_screen "32768 bytes readed from $WORK/image.bin"
check_box "Info:"
check_box "32768 bytes readed from $WORK/image.bin"
line ""
wait_screen "until  0x7FFF"
check_menu_on_clear_screen

# ---- Burn ----
line w
wait_screen "new size>"
check && screen | grep -qF "0 for 0x7FFF else 1.. max. 0x7FFF" || fail "range prompt of the burn"
line 7FFF
wait_screen "write ready: 7FFF Bytes" 120
check_box "write ready: 7FFF Bytes"
check_counter_line "writing..." 7FFF
line ""
wait_screen "until  0x7FFF"
check_menu_on_clear_screen

# ---- Verify ----
line v
wait_screen "new size>"
line 0
wait_screen "compare: 7FFF" 120
check_box "compare: 7FFF"
check_box "Ready:"
check_counter_line "comparing..." 7FFF
line ""
wait_screen "until  0x7FFF"

# ---- Exit ----
line q
wait_screen "Goodbye"
wait_for 10 test -s "$WORK/status"
status=$(cat "$WORK/status" 2>/dev/null)
check [ "$status" = 1 ] || fail "exit status after q is '$status', not 1"

# The chip file holds what was burnt.
check cmp -s "$WORK/image.bin" "$WORK/chip.bin" ||
    fail "the chip file does not hold the image after the burn"

finish
