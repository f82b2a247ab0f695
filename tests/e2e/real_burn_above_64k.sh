#!/usr/bin/env bash
# The real vantrel binary burns a 27C010 across 0xFFFF, where every address also sends IC5
# (A16 and the program strobe on the A18 line): 65537 bytes burnt, verified and read back
# through some 70 million trapped port instructions, a few minutes.
LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")/lib" && pwd)
source "$LIB/session.bash" "$@"
source "$LIB/real.bash"

REAL_TIMEOUT=1100 # about 200 s on an idle machine

burn_session above_64k 27C010 '0\nc' 65537 10000

finish
