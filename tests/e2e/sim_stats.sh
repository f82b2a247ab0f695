#!/usr/bin/env bash
# vantrel-sim --stats: the counts at exit on standard error match the session that ran.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"
# field REGEX: the first number captured by REGEX (sed -E) on the session's standard error.
field() { sed -n -E "s/$1/\\1/p" "$SESSION.err" | head -1; }
# err_line LINE: standard error of the session has LINE, whole.
err_line() { grep -q -x -F -- "$1" "$SESSION.err"; }

# Read 0..0xFF of the default 27C512.
run read '1\nr\nff\n\nq\n' --stats
check err_line 'vantrel-sim statistics' || fail "no statistics on stderr"
expect_lacks 'statistics'
acc=$(field '^port accesses: ([0-9]+) .*')
rd=$(field '^port accesses: [0-9]+ \(reads ([0-9]+),.*')
wr=$(field '^port accesses: .*writes ([0-9]+)\)$')
check [ -n "$acc" ] && [ $((rd + wr)) = "$acc" ] && [ "$rd" -gt "$wr" ] ||
    fail "accesses '$acc' reads '$rd' writes '$wr'"
# One load pulse per byte read; one address transfer per byte plus the chip's enable; IC4
# for the rest state at start, the enable and the disable.
check err_line 'load pulses: 256' || fail "$(grep load read.err)"
check err_line 'transfers: address register 257, IC5 1, IC4 3' || fail "$(grep transfers read.err)"
check err_line 'program pulses: 0 triggered, 0 effective, 0 without effect' || fail "$(grep program read.err)"
# The bus time is the access count at one microsecond each.
want=$(printf 'bus time at 1 us/access: %d.%06d s' $((acc / 1000000)) $((acc % 1000000)))
check err_line "$want" || fail "wanted '$want', got '$(grep 'bus time' read.err)'"
expect_clean_wire
check && ! grep -q '^chip at exit' read.err || fail "a clean read destroyed the chip"

# Programming 4 bytes of a 2732A at the NMOS 2732's 25 V: the 2732A tolerates 22 V, so the
# first transfer that switches the voltage on destroys it. No pulse has an effect, the first
# byte fails after ten, and the statistics list the hazards with their texts and the chip.
run hot '1\n2\n7\nw\n3\n\nq\n' --chip 2732A --stats
check err_line 'program pulses: 10 triggered, 0 effective, 10 without effect' || fail "$(grep program hot.err)"
check err_line 'load pulses: 10' || fail "$(grep load hot.err)"
n=$(field '^hazards: ([0-9]+)$')
texts=$(grep -c '^  programming voltage 25 V above the 22 V limit of a 2732A: the chip is destroyed' hot.err)
check [ -n "$n" ] && [ "$n" -gt 0 ] && [ "$n" = "$texts" ] || fail "hazards '$n' with $texts texts"
check err_line 'chip at exit: the 2732A is destroyed: more than 22 V on its VPP pin' ||
    fail "no destroyed chip in $(cat hot.err)"
expect_has '| write-error at adr:0 '

# A stuck monoflop: every trigger is lost, none has an effect.
run mf '1\nw\n3\n\nq\n' --stats --fault monoflop-stuck-0
check err_line 'program pulses: 0 triggered, 0 effective, 0 without effect' || fail "$(grep program mf.err)"

# Without --stats nothing is printed on standard error.
run quiet '1\nq\n'
check [ ! -s quiet.err ] || fail "stderr without --stats: $(cat quiet.err)"

finish
