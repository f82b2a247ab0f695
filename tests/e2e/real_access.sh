#!/usr/bin/env bash
# The real vantrel binary and the rights it runs with: without the harness, as a user who
# may open no port, the refused access keeps its message and status 2; started through sudo
# as root, it gives up root's rights after the start-up, so a saved image belongs to the
# operator; a drop that fails ends the program.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

# ---- Refused access, the unmodified binary on the machine as it is ----------------------

# Only where the unprivileged user can open no parallel port device either.
open_devices=$(as_user sh -c 'for d in /dev/parport*; do [ -w "$d" ] && echo "$d"; done; true')
if [ -n "$open_devices" ]; then
    echo "skipping the refused access: $open_devices open to anyone"
else
    # refused_plain NAME INPUT [ARG...]
    refused_plain() {
        SESSION=$1
        printf '%b' "$2" >"$SESSION.in"
        shift 2
        as_user timeout 60 env -u LD_PRELOAD "$BIN/vantrel" "$@" <"$SESSION.in" >"$SESSION.out" \
            2>"$SESSION.err"
        STATUS=$?
        OUT=$(cat "$SESSION.out"; echo x)
        OUT=${OUT%x}
        expect_status 2
        expect_has "ioperm(-1) --> you need root-access\nwithout root: "
        expect_lacks "Vantrel II at"
    }
    refused_plain plain_given '1\nq\n'
    expect_has "$PORT_PROMPT"
    refused_plain plain_scan '3\nq\n'
    refused_plain plain_port 'q\n' --port 0x378
    expect_lacks "select Vantrel-Port"
fi

# ---- The harness never falls through ----------------------------------------------------

# Without its bench it stops the program before main; a SIGSEGV that is no port instruction
# stays fatal. (Not with a sanitizer build: its runtime must come first in a program.)
if ! ldd "$BIN/harness.so" | grep -q libasan; then
    SESSION=no_bench
    without_rawio env -u VANTREL_HARNESS LD_PRELOAD="$BIN/harness.so" "$BIN/vantrel" </dev/null \
        >"$SESSION.out" 2>"$SESSION.err"
    STATUS=$?
    expect_status 134
    expect_err "vantrel harness: VANTREL_HARNESS is not set"
    SESSION=other_fault
    without_rawio env VANTREL_HARNESS="" LD_PRELOAD="$BIN/harness.so" sh -c 'kill -SEGV $$; echo alive' \
        >"$SESSION.out" 2>"$SESSION.err"
    STATUS=$?
    expect_status 139
    expect_err "vantrel harness: a fault that is no port instruction"
    check [ ! -s "$SESSION.out" ] || fail "the process lived on after its SIGSEGV"
fi

# ---- Root's rights end with the start-up ------------------------------------------------

if [ "$IS_ROOT" = 1 ]; then
    # Started through sudo by nobody: a read works after the drop and the saved image
    # belongs to nobody.
    REAL_SUDO="65534 65534"
    real sudo_save "1\n+\nr\n3F\n\ns\n$PUB/sudo.rom\n\nq\n" "--chip 27C256 --stats"
    expect_status 1
    expect_box "Ready:" "read 63 bytes to buffer ( 0x3F ) - [#3FC0]"
    expect_box "Info:" "64 bytes written to $PUB/sudo.rom"
    check [ "$(stat -c %u:%g "$PUB/sudo.rom")" = 65534:65534 ] ||
        fail "the image belongs to $(stat -c %u:%g "$PUB/sudo.rom"), not to the operator"

    # The same through ppdev: the device stays open after the drop.
    real sudo_ppdev "1\ns\n$PUB/sudo2.rom\n\nq\n" "--stats --refuse-ioperm --ppdev 0:0x378"
    expect_status 1
    check [ "$(stat -c %u:%g "$PUB/sudo2.rom")" = 65534:65534 ] || fail "ppdev: not the operator's image"

    # Not through sudo: root stays root.
    REAL_SUDO=""
    real root_save "1\ns\n$PUB/root.rom\n\nq\n" "--stats"
    expect_status 1
    check [ "$(stat -c %u:%g "$PUB/root.rom")" = 0:0 ] || fail "root's image belongs to someone else"

    # A drop that cannot be done: the message after the start-up, status 2, no menu.
    for ids in "x 65534" "65534 -1" "65534 4294967296"; do
        REAL_SUDO=$ids
        real sudo_bad "1\nq\n" "--stats"
        expect_status 2
        expect_has "cannot give up root's rights for SUDO_UID ${ids% *}, SUDO_GID ${ids#* } (Invalid argument)\n"
        expect_lacks "Vantrel II at"
    done
    REAL_SUDO=""
else
    # Not root: nothing to give up, SUDO_UID or not.
    REAL_SUDO="$(id -u) $(id -g)"
    real user_save "1\ns\n$PUB/user.rom\n\nq\n" "--stats"
    expect_status 1
    check [ "$(stat -c %u "$PUB/user.rom")" = "$(id -u)" ] || fail "the image is not the user's"
    REAL_SUDO=""
fi

finish
