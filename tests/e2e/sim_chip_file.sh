#!/usr/bin/env bash
# vantrel-sim --chip-file: a virtual chip keeps what was burnt into it from one run to the
# next, an unchanged chip leaves its file alone, and a file of the wrong size is refused
# before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
rc() { cat "$TMP/$1.rc"; }
has() { grep -a -q -F -- "$2" "$TMP/$1.out"; }

CHIP=$TMP/chip.bin
# A 256-byte image: every byte value once, in a scrambled order.
LC_ALL=C awk 'BEGIN { for (i = 0; i < 256; i++) printf "%c", (i * 37 + 11) % 256 }' >"$TMP/image.bin"
if [ "$(stat -c %s "$TMP/image.bin")" != 256 ]; then
    echo "FAIL: could not make the test image"
    exit 1
fi

# Run 1: load the image, burn it into a 27C64 whose file does not exist yet.
run burn "1\n8\nl\n$TMP/image.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
if has burn "| 256 bytes readed from $TMP/image.bin |" && has burn "| write ready: FF Bytes |"; then
    ok
else
    bad "burn: image not loaded or not written"
    grep -a -E '^\| ' "$TMP/burn.out"
fi
if [ "$(rc burn)" = 1 ]; then ok; else bad "burn: exit status $(rc burn)"; fi
if [ -f "$CHIP" ] && [ "$(stat -c %s "$CHIP")" = 8192 ]; then ok; else bad "burn: no 8 KiB chip file"; fi
if cmp -s -n 256 "$CHIP" "$TMP/image.bin"; then ok; else bad "burn: chip file does not start with the image"; fi
if [ "$(tail -c +257 "$CHIP" | od -An -v -tx1 | tr -s ' \n' '\n' | grep -c -v -x -e ff -e '')" = 0 ]; then
    ok
else
    bad "burn: cells past the image are not erased"
fi
if [ -z "$(find "$TMP" -name 'chip.bin.*')" ]; then ok; else bad "burn: temporary file left"; fi

# Run 2: a new program run reads the chip back and saves it: the same image.
before=$(stat -c '%i %Y %y' "$CHIP")
run readback "1\n8\nr\nff\n\ns\n$TMP/back.bin\n\nq\n" --chip 27C64 --chip-file "$CHIP"
if cmp -s "$TMP/back.bin" "$TMP/image.bin"; then ok; else bad "readback: saved image differs"; fi
# Reading changed nothing, so the chip file was not rewritten.
if [ "$(stat -c '%i %Y %y' "$CHIP")" = "$before" ]; then ok; else bad "readback: unchanged chip file was rewritten"; fi

# Run 3: programming more zeros over it changes the chip, in the file itself.
run more "1\n8\nl\n$TMP/image.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
# Burning the same image again changes no cell: still the old file.
if [ "$(stat -c '%i %Y %y' "$CHIP")" = "$before" ]; then ok; else bad "more: same image rewrote the file"; fi
printf '\x00\x00\x00\x00' >"$TMP/zeros.bin"
run zeros "1\n8\nl\n$TMP/zeros.bin\n\nw\n0\n\nq\n" --chip 27C64 --chip-file "$CHIP"
if has zeros "| write ready: 3 Bytes |"; then ok; else bad "zeros: not written"; fi
if [ "$(stat -c %i "$CHIP")" = "${before%% *}" ] && [ "$(head -c 4 "$CHIP" | od -An -tx1 | tr -d ' ')" = 00000000 ] &&
    cmp -s -i 4 -n 252 "$CHIP" "$TMP/image.bin"; then
    ok
else
    bad "zeros: the chip file does not hold the new contents"
fi

# A file of another size is refused before the program starts.
head -c 8191 "$CHIP" >"$TMP/short.bin"
run short "1\nq\n" --chip 27C64 --chip-file "$TMP/short.bin"
if [ "$(rc short)" = 2 ]; then ok; else bad "short: exit status $(rc short)"; fi
if grep -q -F "$TMP/short.bin" "$TMP/short.err" && grep -q "8191 bytes" "$TMP/short.err"; then
    ok
else
    bad "short: unclear error: $(cat "$TMP/short.err")"
fi
if [ ! -s "$TMP/short.out" ]; then ok; else bad "short: the program started"; fi
if [ "$(stat -c %s "$TMP/short.bin")" = 8191 ]; then ok; else bad "short: the refused file was changed"; fi
# The same file for a chip of its size is fine: a 27C512 file is no 27C64 file.
run wrongtype "1\nq\n" --chip 27512 --chip-file "$CHIP"
if [ "$(rc wrongtype)" = 2 ] && grep -q "65536" "$TMP/wrongtype.err"; then ok; else bad "wrongtype: $(cat "$TMP/wrongtype.err")"; fi

# A stuck cell does not leak into the chip file: only the fault of one run.
cp "$CHIP" "$TMP/stuck.bin"
run stuck "1\n8\nq\n" --chip 27C64 --chip-file "$TMP/stuck.bin" --fault stuck-cell:0x100:0x00
if cmp -s "$CHIP" "$TMP/stuck.bin"; then ok; else bad "stuck: stuck value written into the chip file"; fi

# The chip's cells are the chip file's bytes: a save to it, by its name or a hard link, is
# refused with the save's own boxes, and the file stays byte for byte.
cp "$CHIP" "$TMP/kept.bin"
ln "$CHIP" "$TMP/twin.bin"
run save_over "1\n8\ns\n$CHIP\n\n\ns\n$TMP/twin.bin\n\n\nq\n" --chip 27C64 --chip-file "$CHIP"
if [ "$(rc save_over)" = 1 ] && [ "$(grep -a -c -x '| file-error (create) : can not save! |' "$TMP/save_over.out")" = 2 ] &&
    [ "$(grep -a -c -x '| write-error    |' "$TMP/save_over.out")" = 2 ]; then
    ok
else
    bad "save_over: status $(rc save_over): $(grep -a '^| ' "$TMP/save_over.out")"
fi
if cmp -s "$CHIP" "$TMP/kept.bin" && [ "$(stat -c %h "$CHIP")" = 2 ]; then ok; else bad "save_over: the chip file changed"; fi
rm -f "$TMP/twin.bin"

# A closed standard descriptor never becomes the chip file: neither the result line nor an
# error nor the keys go through the chip's cells.
# closed NAME FD ARGS...: vantrel-sim with descriptor FD closed, the others to NAME.out and
# NAME.err (standard input /dev/null).
closed() {
    local name=$1 fd=$2
    shift 2
    case $fd in
    0) timeout 60 "$SIM" "$@" <&- >"$TMP/$name.out" 2>"$TMP/$name.err" ;;
    1) timeout 60 "$SIM" "$@" </dev/null >&- 2>"$TMP/$name.err" ;;
    2) timeout 60 "$SIM" "$@" </dev/null >"$TMP/$name.out" 2>&- ;;
    esac
    echo $? >"$TMP/$name.rc"
    if cmp -s "$CHIP" "$TMP/kept.bin"; then ok; else bad "$name: the chip file changed"; fi
}
closed out_blank 1 --chip 27C64 --chip-file "$CHIP" -t 2764 --blank
if [ "$(rc out_blank)" = 1 ]; then ok; else bad "out_blank: status $(rc out_blank)"; fi
closed out_read 1 --chip 27C64 --chip-file "$CHIP" -t 2764 --read "$TMP/x.bin"
if [ "$(rc out_read)" = 0 ] && cmp -s "$TMP/x.bin" "$CHIP"; then ok; else bad "out_read: status $(rc out_read)"; fi
closed out_menu 1 --chip 27C64 --chip-file "$CHIP"
if [ "$(rc out_menu)" = 1 ]; then ok; else bad "out_menu: status $(rc out_menu)"; fi
closed err_job 2 --chip 27C64 --chip-file "$CHIP" -t 2764 --verify "$TMP/nothing.bin"
if [ "$(rc err_job)" = 2 ]; then ok; else bad "err_job: status $(rc err_job)"; fi
closed in_menu 0 --chip 27C64 --chip-file "$CHIP"
if [ "$(rc in_menu)" = 1 ] && [ "$(grep -a -c 'select> ' "$TMP/in_menu.out")" = 1 ] &&
    grep -a -q 'Goodbye' "$TMP/in_menu.out"; then
    ok
else
    bad "in_menu: status $(rc in_menu)"
fi

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
as_user() {
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
    else
        "$@"
    fi
}
for f in "$R/ro.bin" "$R/rodir/new.bin"; do
    printf '1\nq\n' | as_user "$R/vantrel-sim" --chip 2764 --chip-file "$f" >"$TMP/rights.out" 2>"$TMP/rights.err"
    rc=$?
    if [ "$rc" = 2 ] && [ "$(wc -l <"$TMP/rights.err")" = 1 ] && grep -q -F "$f" "$TMP/rights.err" &&
        [ ! -s "$TMP/rights.out" ]; then
        ok
    else
        bad "rights $f: status $rc: $(cat "$TMP/rights.err")"
    fi
done
if [ ! -e "$R/rodir/new.bin" ] && [ "$(stat -c %s "$R/ro.bin")" = 8192 ] && cmp -s -n 8192 "$R/ro.bin" /dev/zero; then ok; else bad "rights: a refused file was touched"; fi
rm -rf "$R"

tally_end
