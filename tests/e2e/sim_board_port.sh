#!/usr/bin/env bash
# vantrel-sim --board-port and --no-chip: where the board hangs decides what the port
# dialogue finds, and an empty socket reads as all 0xFF.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
# has NAME TEXT: the screen of session NAME contains TEXT.
has() { grep -a -q -F -- "$2" "$TMP/$1.out"; }
boxes() { grep -a -E '^\| ' "$TMP/$1.out" | sed 's/^/    /'; }

# The scan finds the board on 0x278 and says so; the menu then works on that port.
run scan278 '3\n\nq\n' --board-port 0x278
if has scan278 "| Vantrel found at LPT: (0x278) |"; then ok; else bad "scan278: no found box"; boxes scan278; fi
if has scan278 "Vantrel II at 0x278 "; then ok; else bad "scan278: menu not on 0x278"; fi

# The scan from 0x378 with the board on 0x3BC.
run scan3bc '3\n\nq\n' --board-port 0x3BC
if has scan3bc "| Vantrel found at LPT: (0x3BC) |"; then ok; else bad "scan3bc: no found box"; boxes scan3bc; fi

# Choosing the right port directly: no box at all.
run direct '2\nq\n' --board-port 0x3BC
if ! grep -a -q -E '^\| (Info|Error):' "$TMP/direct.out" && has direct "Vantrel II at 0x3BC "; then
    ok
else
    bad "direct: a box or the wrong port"
    boxes direct
fi

# The default port with the board moved away.
run moved '1\n\nq\n' --board-port 0x278
if has moved "| Vantrel not found at LPT (0x378) |"; then ok; else bad "moved: no not-found box"; boxes moved; fi

# No board at all: the scan gives up on all three ports.
run none '3\n\nq\n' --board-port none
if has none "| Vantrel not found on 0x278, 0x378 or 0x3BC ! |"; then ok; else bad "none: no box"; boxes none; fi
if [ "$(cat "$TMP/none.rc")" = 1 ]; then ok; else bad "none: exit status $(cat "$TMP/none.rc")"; fi

# An empty socket: a read gives 0xFF everywhere, and the saved image shows it.
run nochip "1\nr\nff\n\ns\n$TMP/empty.bin\n\nq\n" --no-chip
if has nochip "all Bytes FF"; then ok; else bad "nochip: read did not report all bytes FF"; fi
if has nochip "| read 255 bytes to buffer ( 0xFF )"; then ok; else bad "nochip: no read box"; boxes nochip; fi
if [ -f "$TMP/empty.bin" ] && [ "$(od -An -v -tx1 "$TMP/empty.bin" | tr -s ' \n' '\n' | grep -c -v -x -e ff -e '')" = 0 ] &&
    [ "$(stat -c %s "$TMP/empty.bin")" = 256 ]; then
    ok
else
    bad "nochip: saved image is not 256 bytes of 0xFF"
fi
# Nothing can be programmed into an empty socket.
run nochipwrite '1\nw\nff\n\nq\n' --no-chip
if has nochipwrite "| write-error at adr:0   read: FF   buffer: 0 |"; then ok; else bad "nochipwrite"; boxes nochipwrite; fi

tally_end
