#!/usr/bin/env bash
# vantrel-sim --stats: the counts at exit on standard error match the session that ran.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
# field FILE REGEX: the first number captured by REGEX (sed -E) in FILE.
field() { sed -n -E "s/$2/\\1/p" "$1" | head -1; }

# Read 0..0xFF of the default 27C512.
printf '1\nr\nff\n\nq\n' | timeout 60 "$SIM" --stats >"$TMP/read.out" 2>"$TMP/read.err"
E=$TMP/read.err
if grep -q -x 'vantrel-sim statistics' "$E"; then ok; else bad "no statistics on stderr"; fi
if ! grep -q 'statistics' "$TMP/read.out"; then ok; else bad "statistics on stdout"; fi
acc=$(field "$E" '^port accesses: ([0-9]+) .*')
rd=$(field "$E" '^port accesses: [0-9]+ \(reads ([0-9]+),.*')
wr=$(field "$E" '^port accesses: .*writes ([0-9]+)\)$')
if [ -n "$acc" ] && [ $((rd + wr)) = "$acc" ] && [ "$rd" -gt "$wr" ]; then ok; else bad "accesses '$acc' reads '$rd' writes '$wr'"; fi
# One load pulse per byte read; one address transfer per byte plus the chip's enable; IC4
# for the rest state at start, the enable and the disable.
if grep -q -x 'load pulses: 256' "$E"; then ok; else bad "load pulses: $(grep load "$E")"; fi
if grep -q -x 'transfers: address register 257, IC5 1, IC4 3' "$E"; then ok; else bad "$(grep transfers "$E")"; fi
if grep -q -x 'program pulses: 0 triggered, 0 effective, 0 without effect' "$E"; then ok; else bad "$(grep 'program' "$E")"; fi
# The bus time is the access count at one microsecond each.
want=$(printf 'bus time at 1 us/access: %d.%06d s' $((acc / 1000000)) $((acc % 1000000)))
if grep -q -x -F "$want" "$E"; then ok; else bad "wanted '$want', got '$(grep 'bus time' "$E")'"; fi
if grep -q -x 'protocol violations: 0' "$E" && grep -q -x 'hazards: 0' "$E"; then ok; else bad "violations or hazards in a clean read"; fi
if ! grep -q '^chip at exit' "$E"; then ok; else bad "a clean read destroyed the chip"; fi

# Programming 4 bytes of a 2732A at the NMOS 2732's 25 V: the 2732A tolerates 22 V, so the
# first transfer that switches the voltage on destroys it. No pulse has an effect, the first
# byte fails after ten, and the statistics list the hazards with their texts and the chip.
printf '1\n2\n7\nw\n3\n\nq\n' | timeout 60 "$SIM" --chip 2732A --stats >"$TMP/hot.out" 2>"$TMP/hot.err"
E=$TMP/hot.err
if grep -q -x 'program pulses: 10 triggered, 0 effective, 10 without effect' "$E"; then ok; else bad "$(grep 'program' "$E")"; fi
if grep -q -x 'load pulses: 10' "$E"; then ok; else bad "hot: $(grep load "$E")"; fi
n=$(field "$E" '^hazards: ([0-9]+)$')
texts=$(grep -c '^  programming voltage 25 V above the 22 V limit of a 2732A: the chip is destroyed' "$E")
if [ -n "$n" ] && [ "$n" -gt 0 ] && [ "$n" = "$texts" ]; then ok; else bad "hazards '$n' with $texts texts"; fi
if grep -q -x 'chip at exit: the 2732A is destroyed: more than 22 V on its VPP pin' "$E"; then ok; else bad "hot: no destroyed chip in $(cat "$E")"; fi
if grep -a -q -F '| write-error at adr:0 ' "$TMP/hot.out"; then ok; else bad "hot: no write error"; fi

# A stuck monoflop: every trigger is lost, none has an effect.
printf '1\nw\n3\n\nq\n' | timeout 60 "$SIM" --stats --fault monoflop-stuck-0 >"$TMP/mf.out" 2>"$TMP/mf.err"
if grep -q -x 'program pulses: 0 triggered, 0 effective, 0 without effect' "$TMP/mf.err"; then ok; else bad "mf: $(grep 'program' "$TMP/mf.err")"; fi

# Without --stats nothing is printed on standard error.
printf '1\nq\n' | timeout 60 "$SIM" >/dev/null 2>"$TMP/quiet.err"
if [ ! -s "$TMP/quiet.err" ]; then ok; else bad "stderr without --stats: $(cat "$TMP/quiet.err")"; fi

tally_end
