#!/usr/bin/env bash
# The real vantrel binary burns through its own port instructions, one part for each way of
# programming: chip enable pulsed (27C256), the program strobe on the A14 line (the NMOS
# 2764, at its 21 V), the program strobe on the A18 line (27C010). Short ranges: each access
# is a trapped instruction. The screens equal vantrel-sim's on the same bench.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

burn_session ce_27c256 27C256 '0\na' 64 3F
burn_session a14_2764 2764 '1\n8' 48 2F
burn_session a18_27c010 27C010 '0\nc' 40 27

# The NMOS 2764 at 12.75 V: the pulses do nothing, the first byte fails, nothing is hurt.
printf '\x5a\x5a' >two.img
both nmos_low "1\n8\n+\nl\ntwo.img\n\nw\n0\n\nq\n" "--chip 2764 --pulse 3 --stats"
expect_boxes "Info:|2 bytes readed from two.img" "Error:|write-error at adr:0   read: FF   buffer: 5A"
expect_clean_wire

finish
