#!/usr/bin/env bash
# vantrel-sim --chip-file: a virtual chip keeps what was burnt into it from one run to the
# next, an unchanged chip leaves its file alone, and a file of the wrong size is refused
# before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

CHIP=$WORK/chip.bin
# A 256-byte image: every byte value once, in a scrambled order.
LC_ALL=C awk 'BEGIN { for (i = 0; i < 256; i++) printf "%c", (i * 37 + 11) % 256 }' >image.bin
if [ "$(stat -c %s image.bin)" != 256 ]; then
    echo "FAIL: could not make the test image"
    exit 1
fi
# only_ff FILE: FILE holds nothing but 0xFF bytes.
only_ff() { [ "$(tr -d '\377' <"$1" | wc -c)" = 0 ]; }

# Run 1: load the image, burn it into a 27C64 whose file does not exist yet.
run burn "1\n8\nl\n$WORK/image.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
expect_has "| 256 bytes readed from $WORK/image.bin |"
expect_has "| write ready: FF Bytes |"
expect_status 1
check [ -f "$CHIP" ] && [ "$(stat -c %s "$CHIP")" = 8192 ] || fail "no 8 KiB chip file"
check cmp -s -n 256 "$CHIP" image.bin || fail "the chip file does not start with the image"
tail -c +257 "$CHIP" >past.bin
check only_ff past.bin || fail "cells past the image are not erased"
check [ -z "$(find "$WORK" -name 'chip.bin.*')" ] || fail "temporary file left"

# Run 2: a new program run reads the chip back and saves it: the same image.
before=$(stat -c '%i %Y %y' "$CHIP")
run readback "1\n8\nr\nff\n\ns\n$WORK/back.bin\n\nq\n" --chip 27C64 --chip-file "$CHIP"
expect_file_same back.bin image.bin
# Reading changed nothing, so the chip file was not rewritten.
check [ "$(stat -c '%i %Y %y' "$CHIP")" = "$before" ] || fail "unchanged chip file was rewritten"

# Run 3: programming more zeros over it changes the chip, in the file itself.
run more "1\n8\nl\n$WORK/image.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
# Burning the same image again changes no cell: still the old file.
check [ "$(stat -c '%i %Y %y' "$CHIP")" = "$before" ] || fail "same image rewrote the file"
printf '\x00\x00\x00\x00' >zeros.bin
run zeros "1\n8\nl\n$WORK/zeros.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
expect_has "| write ready: 3 Bytes |"
check [ "$(stat -c %i "$CHIP")" = "${before%% *}" ] &&
    [ "$(head -c 4 "$CHIP" | od -An -tx1 | tr -d ' ')" = 00000000 ] &&
    cmp -s -i 4 -n 252 "$CHIP" image.bin || fail "the chip file does not hold the new contents"

# A file of another size is refused before the program starts.
head -c 8191 "$CHIP" >short.bin
run short "1\nq\n" --chip 27C64 --chip-file "$WORK/short.bin"
expect_status 2
expect_err "$WORK/short.bin"
expect_err "8191 bytes"
check [ ! -s short.out ] || fail "the program started"
check [ "$(stat -c %s short.bin)" = 8191 ] || fail "the refused file was changed"
# The same file for a chip of its size is fine: a 27C512 file is no 27C64 file.
run wrongtype "1\nq\n" --chip 27512 --chip-file "$CHIP"
expect_status 2
expect_err "65536"

# A stuck cell does not leak into the chip file: only the fault of one run.
cp "$CHIP" stuck.bin
run stuck "1\n8\nq\n" --chip 27C64 --chip-file "$WORK/stuck.bin" --fault stuck-cell:0x100:0x00
check cmp -s "$CHIP" stuck.bin || fail "stuck value written into the chip file"

# The chip's cells are the chip file's bytes: a save to it, by its name or a hard link, is
# refused with the save's own boxes, and the file stays byte for byte.
cp "$CHIP" kept.bin
ln "$CHIP" twin.bin
run save_over "1\n8\ns\n$CHIP\n\n\ns\n$WORK/twin.bin\n\n\nq\n" --chip 27C64 --chip-file "$CHIP"
expect_status 1
expect_count 2 "\n| file-error (create) : can not save! |\n"
expect_count 2 "\n| write-error    |\n"
check cmp -s "$CHIP" kept.bin && [ "$(stat -c %h "$CHIP")" = 2 ] || fail "the chip file changed"
rm -f twin.bin

# A closed standard descriptor never becomes the chip file: neither the result line nor an
# error nor the keys go through the chip's cells.
# closed NAME FD ARGS...: vantrel-sim with descriptor FD closed, the others to NAME.out and
# NAME.err (standard input /dev/null); STATUS.
closed() {
    SESSION=$1
    local fd=$2
    shift 2
    case $fd in
    0) timeout 60 "$SIM" "$@" <&- >"$SESSION.out" 2>"$SESSION.err" ;;
    1) timeout 60 "$SIM" "$@" </dev/null >&- 2>"$SESSION.err" ;;
    2) timeout 60 "$SIM" "$@" </dev/null >"$SESSION.out" 2>&- ;;
    esac
    STATUS=$?
    OUT=$(cat "$SESSION.out" 2>/dev/null; echo x)
    OUT=${OUT%x}
    check cmp -s "$CHIP" kept.bin || fail "the chip file changed"
}
closed out_blank 1 --chip 27C64 --chip-file "$CHIP" -t 2764 --blank
expect_status 1
closed out_read 1 --chip 27C64 --chip-file "$CHIP" -t 2764 --read "$WORK/x.bin"
expect_status 0
expect_file_same x.bin "$CHIP"
closed out_menu 1 --chip 27C64 --chip-file "$CHIP"
expect_status 1
closed err_job 2 --chip 27C64 --chip-file "$CHIP" -t 2764 --verify "$WORK/nothing.bin"
expect_status 2
closed in_menu 0 --chip 27C64 --chip-file "$CHIP"
expect_status 1
expect_count 1 "select> "
expect_has "Goodbye"

# A chip file this user may not write, or a new one in a directory it may not write, is
# refused before the dialogue: status 2, one line naming the file, nothing on the screen.
# Root may write anything, so as root this runs as nobody, from a copy of the program in a
# directory nobody can reach.
R=$(mktemp -d /tmp/vantrel-rights-XXXXXX)
chmod 755 "$R"
cp "$SIM" "$R/vantrel-sim"
head -c 8192 /dev/zero >"$R/ro.bin"
chmod 444 "$R/ro.bin"
mkdir -m 555 "$R/rodir"
as_nobody() {
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
    else
        "$@"
    fi
}
for f in "$R/ro.bin" "$R/rodir/new.bin"; do
    SESSION=rights
    printf '1\nq\n' | as_nobody "$R/vantrel-sim" --chip 2764 --chip-file "$f" >rights.out 2>rights.err
    STATUS=$?
    expect_status 2
    expect_err "$f"
    check [ "$(wc -l <rights.err)" = 1 ] && [ ! -s rights.out ] ||
        fail "$f: more than one line, or the screen: $(cat rights.err rights.out)"
done
check [ ! -e "$R/rodir/new.bin" ] && [ "$(stat -c %s "$R/ro.bin")" = 8192 ] &&
    cmp -s -n 8192 "$R/ro.bin" /dev/zero || fail "a refused file was touched"
rm -rf "$R"

finish
