#!/usr/bin/env bash
# The real vantrel binary as an unprivileged user, through ppdev: direct access is refused,
# so each port is opened through the fake /dev/parportN whose procfs base address matches
# it. The board sees the same bytes as on the direct path (the screens equal vantrel-sim's,
# and so do the access counts), and each way a device can fail has its message.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

AS=as_user
CHIPS=$(mktemp -d "$PUB/chips.XXXXXX") # the chip files, which vantrel writes as nobody
chmod 777 "$CHIPS"

# Every data register write and status read went through an ioctl, none through a trap.
expect_through_ppdev() {
    CHECKS=$((CHECKS + 1))
    local n
    n=$(sed -n 's/^port accesses: \([0-9]*\) .*/\1/p' "$SESSION.err")
    if ! grep -qx "harness: 0 port instructions trapped, $n ppdev data ioctls, [0-9]* ioperm requests" \
        "$SESSION.err" || [ "${n:-0}" = 0 ]; then
        fail "not every access went through ppdev:"
        cat "$SESSION.err"
    fi
}

# The same access count as vantrel-sim's run of the session.
expect_sim_count() {
    CHECKS=$((CHECKS + 1))
    if [ "$(grep '^port accesses' "$SESSION.err")" != "$(grep '^port accesses' "$SESSION.sim.err")" ]; then
        fail "access counts differ: $(grep -h '^port accesses' "$SESSION.sim.err" "$SESSION.err")"
    fi
}

# Detection through /dev/parport0 at 0x378, and a short read, burn, verify and read-back of
# a 27C64 through it: the chip file ends up with the image.
HARNESS_EXTRA="--refuse-ioperm --ppdev 0:0x378"
both pp_given '1\nq\n' "--board-port 0x378 --stats"
expect_status 1
expect_boxes
expect_through_ppdev
expect_sim_count
head -c 48 /dev/urandom >"$PUB/image.bin"
chmod 644 "$PUB/image.bin"
both pp_burn "1\n8\n+\nl\n$PUB/image.bin\n\nw\n0\n\nv\n0\n\nr\n0\n\nq\n" \
    "--chip 27C64 --chip-file $CHIPS/%s.bin --stats"
expect_status 1
expect_boxes "Info:|48 bytes readed from $PUB/image.bin" "Ready:|write ready: 2F Bytes" \
    "Ready:|compare: 2F" "Ready:|read 47 bytes to buffer ( 0x2F ) - [#$(checksum_of "$PUB/image.bin")]"
expect_through_ppdev
expect_sim_count
expect_clean_wire
check cmp -s -n 48 "$CHIPS/real.bin" "$PUB/image.bin" || fail "the chip does not hold the image"

# The scan opens what it can: only 0x278 has a device, and the board is there.
HARNESS_EXTRA="--refuse-ioperm --ppdev 3:0x278"
both pp_scan '3\n\nq\n' "--board-port 0x278 --stats"
expect_boxes 'Info:|Vantrel found at LPT: (0x278)'
expect_through_ppdev

# --port with a device path: the base address that procfs gives, on the status line.
HARNESS_EXTRA="--refuse-ioperm --ppdev 1:0xD010"
run pp_path.sim 'q\n' --board-port 0xD010 --port 0xD010
real pp_path 'q\n' "--board-port 0xD010 --stats $HARNESS_EXTRA" --port /dev/parport1
expect_status 1
expect_last_screen_has "$(status_line D010 0000 FFFF 2)"
expect_through_ppdev
check cmp -s pp_path.out pp_path.sim.out || fail "--port /dev/parport1 and --port 0xD010 differ"

# Refusals: the message, status 2, and nothing on the wire.
# refused NAME INPUT HARNESS-OPTIONS LINES [ARG...]
refused() {
    local name=$1 input=$2 bench=$3 lines=$4
    shift 4
    real "$name" "$input" "--board-port 0x378 --stats --refuse-ioperm $bench" "$@"
    expect_status 2
    expect_has "$lines"
    expect_lacks "Vantrel II at"
    expect_err "port accesses: 0 (reads 0, writes 0)"
}
ROOT_LINE='ioperm(-1) --> you need root-access\n'
refused no_device '1\n' "" \
    "$ROOT_LINE""without root: load ppdev (modprobe ppdev) and add your user to group lp for the port's /dev/parportN\n"
refused denied '1\n' "--ppdev 2:0x378:denied" \
    "$ROOT_LINE""without root: add your user to group lp for /dev/parport2 (this port), then log in again\n"
refused missing_node '1\n' "--ppdev 0:0x378:missing" \
    "$ROOT_LINE""without root: add your user to group lp for /dev/parport0 (this port), then log in again\n"
refused scan_none '3\n' "--ppdev 0:0x3BC:denied" \
    "$ROOT_LINE""without root: load ppdev (modprobe ppdev) and add your user to group lp for the port's /dev/parportN\n"
refused busy '1\n' "--ppdev 0:0x378:busy" \
    ">/dev/parport0: port busy, another driver or program holds it (PPCLAIM: Device or resource busy)\n"
refused not_a_port '' "--ppdev 1:0x378:notpp" \
    "/dev/parport1: not a parallel port (PPEXCL: Inappropriate ioctl for device)\n" --port /dev/parport1
refused vanished '' "--ppdev 1:0x378:nodev" \
    "/dev/parport1: device vanished (open: No such device)\n" --port /dev/parport1
refused no_such_path '' "--ppdev 1:0x378" \
    "/dev/parport4: no parallel port device (open: No such file or directory)\n" --port /dev/parport4
refused path_denied '' "--ppdev 1:0x378:denied" \
    "/dev/parport1: Permission denied\nwithout root: add your user to group lp for /dev/parport1 (this port), then log in again\n" \
    --port /dev/parport1
expect_exact "/dev/parport1: Permission denied\nwithout root: add your user to group lp for /dev/parport1 (this port), then log in again\n"

# The scan opens what it can and stays on a port it holds: only 0x278 has a device and no
# board answers anywhere. The scan ends on 0x278 (the status line), not on 0x378 where it
# started and which it never opened, so the command after it (a level: one IC4 transfer, 19
# writes and 104 status reads at delay 2) goes through the device, and not one access reaches
# a port without the grant (the model would count it as a violation).
accesses() { sed -n 's/^port accesses: \([0-9]*\) .*/\1/p' "$1.err"; }
SCAN_BENCH="--board-port none --stats --refuse-ioperm --ppdev 0:0x278"
real pp_scan_alone '3\n\nq\n' "$SCAN_BENCH"
real pp_scan_fallback '3\n\n0\nq\n' "$SCAN_BENCH"
expect_status 1
expect_boxes 'Info:|Vantrel not found on 0x278, 0x378 or 0x3BC !'
expect_last_screen_has "$(status_line 278 0000 FFFF 2)"
expect_clean_wire
expect_through_ppdev
check [ "$(($(accesses pp_scan_fallback) - $(accesses pp_scan_alone)))" = 123 ] ||
    fail "the command after the scan: $(accesses pp_scan_alone) and $(accesses pp_scan_fallback) accesses"

# A device that goes away in the middle of a menu read: the run stops, the program ends with
# status 2 and one line on standard error; the screen gets no word of it.
LOSS_LINE="/dev/parport0: device vanished during the run (PP"
real pp_vanish '1\n+\nr\nFFF\n\nq\n' "--board-port 0x378 --stats --refuse-ioperm --ppdev 0:0x378:vanish:20000"
expect_status 2
expect_lacks "vanished"
expect_lacks "Ready:"
expect_lacks "Goodbye"
expect_err "$LOSS_LINE"
expect_err ": No such device)"
expect_err "harness: 0 port instructions trapped, 20000 ppdev data ioctls"
check [ "$(sed '/^vantrel-sim statistics$/,$d' "$SESSION.err" | wc -l)" = 1 ] ||
    fail "more than the one line on standard error before the statistics: $(cat "$SESSION.err")"

# The same in a job whose image goes to standard output: two reads of 256 bytes, the device
# gone in the second. Standard output holds the first image and nothing else, standard error
# the line, and the job ends with status 3.
head -c 8192 /dev/urandom | tr '\000' '\001' >"$CHIPS/loss.bin" # no NUL: the transcript is text
chmod 666 "$CHIPS/loss.bin"
real pp_vanish_job '' "--chip 27C64 --chip-file $CHIPS/loss.bin --stats --refuse-ioperm --ppdev 0:0x378:vanish:150000" \
    -t 27C64 --range FF --reads 1 --read - --read -
expect_status 3
check cmp -s "$SESSION.out" <(head -c 256 "$CHIPS/loss.bin") ||
    fail "standard output is not the first image alone ($(wc -c <"$SESSION.out") bytes)"
expect_err "vantrel: $LOSS_LINE"
expect_err "read: 256 bytes, sum 0x"

finish
