#!/usr/bin/env bash
# The real vantrel binary started with a standard descriptor closed: the port's device and
# the chip file (both opened at the program's first port call) never take its number, so
# neither the screen nor the messages go into the chip's cells or out to the port, and the
# keys never come from them.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

# A chip whose first cells read as the key 4 and Enter: a program that took the chip file for
# its keys would switch the supply and draw the menu twice.
{ printf '4\n'; head -c 8190 /dev/zero | tr '\0' '\377'; } >cells.bin
CHIPS=$(mktemp -d "$PUB/chips.XXXXXX")
chmod 777 "$CHIPS"
BENCH="--chip 27C64 --chip-file $CHIPS/chip.bin --refuse-ioperm --ppdev 0:0x378 --stats"

# closed_run NAME FD INPUT [ARG...]: vantrel on the bench through /dev/parport0 with
# descriptor FD closed, INPUT on standard input otherwise; the chip file must stay as it was.
closed_run() {
    SESSION=$1
    local fd=$2
    printf '%b' "$3" >"$SESSION.in"
    shift 3
    cp cells.bin "$CHIPS/chip.bin"
    chmod 666 "$CHIPS/chip.bin"
    local cmd=("$AS" timeout 60 env -u SUDO_UID -u SUDO_GID ASAN_OPTIONS="$ASAN_HARNESS"
        LD_PRELOAD="$BIN/harness.so" VANTREL_HARNESS="$BENCH" "$BIN/vantrel" --port /dev/parport0 "$@")
    case $fd in
    0) "${cmd[@]}" <&- >"$SESSION.out" 2>"$SESSION.err" ;;
    1) "${cmd[@]}" <"$SESSION.in" >&- 2>"$SESSION.err" ;;
    2) "${cmd[@]}" <"$SESSION.in" >"$SESSION.out" 2>&- ;;
    esac
    STATUS=$?
    OUT=$(cat "$SESSION.out" 2>/dev/null; echo x)
    OUT=${OUT%x}
    check cmp -s "$CHIPS/chip.bin" cells.bin ||
        fail "the chip file changed: $(head -c 48 "$CHIPS/chip.bin" | od -An -c | head -2)"
}

# The menu: one screen, no key read from the cells (standard input closed is the end of input).
closed_run menu_in 0 ''
expect_status 1
expect_count 1 '\033[2J'
expect_ends_goodbye
closed_run menu_out 1 'q\n'
expect_status 1
closed_run menu_err 2 'q\n'
expect_status 1
expect_count 1 '\033[2J'
# Jobs: the result line and the messages go nowhere; an image for a closed standard output is
# refused before the port is even opened.
closed_run job_out 1 '' -t 2764 --blank
expect_status 1
closed_run job_err 2 '' -t 2764 --verify nothing.bin
expect_status 2
closed_run job_image_out 1 '' -t 2764 --read -
expect_status 2
expect_err "--read -: standard output is closed"
expect_err "harness: the program made no port call"

# holds_chip_file PID: the process has the chip file open (the harness opens it at the first
# port call, together with the device).
holds_chip_file() {
    local f
    for f in "/proc/$1/fd/"*; do
        [ "$(readlink "$f")" = "$CHIPS/chip.bin" ] && return 0
    done
    return 1
}

# vantrel_with_port: the process id of the vantrel started with --port, if there is one.
vantrel_with_port() {
    local p
    for p in /proc/[0-9]*; do
        if [[ "$(tr '\0' ' ' 2>/dev/null <"$p/cmdline")" == "$BIN/vantrel --port"* ]]; then
            echo "${p#/proc/}"
            return
        fi
    done
}

# While the menu waits for a key: descriptors 0 to 2 are none of the files the harness serves
# (the chip file; the device, which it opens as /dev/null for reading and writing with
# close-on-exec), so nothing the program prints can reach the port.
for fd in 1 2; do
    SESSION=held_$fd
    cp cells.bin "$CHIPS/chip.bin"
    chmod 666 "$CHIPS/chip.bin"
    rm -f "$SESSION.fifo"
    mkfifo "$SESSION.fifo"
    chmod 666 "$SESSION.fifo"
    cmd=("$AS" env -u SUDO_UID -u SUDO_GID ASAN_OPTIONS="$ASAN_HARNESS"
        LD_PRELOAD="$BIN/harness.so" VANTREL_HARNESS="$BENCH" "$BIN/vantrel" --port /dev/parport0)
    if [ "$fd" = 1 ]; then
        "${cmd[@]}" <"$SESSION.fifo" >&- 2>"$SESSION.err" &
    else
        "${cmd[@]}" <"$SESSION.fifo" >"$SESSION.out" 2>&- &
    fi
    exec 3>"$SESSION.fifo"
    pid=""
    for _ in $(seq 100); do
        pid=$(vantrel_with_port)
        [ -n "$pid" ] && holds_chip_file "$pid" && break
        sleep 0.05
    done
    CHECKS=$((CHECKS + 1))
    if [ -z "$pid" ]; then
        fail "vantrel did not come up"
    else
        for n in 0 1 2; do
            target=$(readlink "/proc/$pid/fd/$n")
            [ "${target##*/}" != chip.bin ] || fail "descriptor $n is the chip file"
        done
        target=$(readlink "/proc/$pid/fd/$fd")
        flags=$(sed -n 's/^flags:[[:space:]]*//p' "/proc/$pid/fdinfo/$fd")
        # O_RDWR is 2, O_CLOEXEC 02000000.
        if [ "$target" != /dev/null ] || (((8#$flags & 3) == 2)) || (((8#$flags & 02000000) != 0)); then
            fail "descriptor $fd is $target (flags $flags), not the program's own /dev/null"
        fi
    fi
    exec 3>&-
    wait
    check cmp -s "$CHIPS/chip.bin" cells.bin || fail "the chip file changed"
done

finish
