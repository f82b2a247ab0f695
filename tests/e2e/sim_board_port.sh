#!/usr/bin/env bash
# vantrel-sim --board-port and --no-chip: where the board hangs decides what the port
# dialogue finds, and an empty socket reads as all 0xFF.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# The scan finds the board on 0x278 and says so; the menu then works on that port.
run scan278 '3\n\nq\n' --board-port 0x278
expect_box "Info:" "Vantrel found at LPT: (0x278)"
expect_has "Vantrel II at 0x278 "

# The scan from 0x378 with the board on 0x3BC.
run scan3bc '3\n\nq\n' --board-port 0x3BC
expect_box "Info:" "Vantrel found at LPT: (0x3BC)"

# Choosing the right port directly: no box at all.
run direct '2\nq\n' --board-port 0x3BC
expect_boxes
expect_has "Vantrel II at 0x3BC "

# The default port with the board moved away.
run moved '1\n\nq\n' --board-port 0x278
expect_box "Info:" "Vantrel not found at LPT (0x378)"

# No board at all: the scan gives up on all three ports.
run none '3\n\nq\n' --board-port none
expect_box "Info:" "Vantrel not found on 0x278, 0x378 or 0x3BC !"
expect_status 1

# An empty socket: a read gives 0xFF everywhere, and the saved image shows it.
run nochip "1\nr\nff\n\ns\nempty.bin\n\nq\n" --no-chip
expect_has "all Bytes FF"
expect_has "| read 255 bytes to buffer ( 0xFF )"
bytes_file ff256.bin 256 255
expect_file_same empty.bin ff256.bin
# Nothing can be programmed into an empty socket.
run nochipwrite '1\nw\nff\n\nq\n' --no-chip
expect_has "| write-error at adr:0   read: FF   buffer: 0 |"

finish
