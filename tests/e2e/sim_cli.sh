#!/usr/bin/env bash
# vantrel-sim's command line: --help, and every unknown or malformed option refused with
# exit status 2 and its name on standard error, before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/tally.bash" "$@"
# --help: usage on standard output, nothing on standard error, status 0, no program.
printf '1\nq\n' | timeout 60 "$SIM" --help >"$TMP/help.out" 2>"$TMP/help.err"
rc=$?
if [ "$rc" = 0 ] && head -1 "$TMP/help.out" | grep -q '^Usage: vantrel-sim' && [ ! -s "$TMP/help.err" ] &&
    ! grep -q 'select Vantrel-Port' "$TMP/help.out"; then
    ok
else
    bad "--help: status $rc"
    cat "$TMP/help.out" "$TMP/help.err"
fi
for opt in --chip --no-chip --chip-file --board-port --pulse --fault --trace --stats --help; do
    if grep -q -e "$opt " "$TMP/help.out"; then ok; else bad "--help does not mention $opt"; fi
done

# refused WHAT ARGS...: status 2, WHAT on standard error, nothing of the program on
# standard output.
refused() {
    local what=$1
    shift
    printf '1\nq\n' | timeout 60 "$SIM" "$@" >"$TMP/r.out" 2>"$TMP/r.err"
    local rc=$?
    if [ "$rc" = 2 ] && grep -q -F -- "$what" "$TMP/r.err" && [ ! -s "$TMP/r.out" ]; then
        ok
    else
        bad "'$*': status $rc, stderr: $(cat "$TMP/r.err"), stdout: $(head -c 80 "$TMP/r.out")"
    fi
}
refused "'--bogus'" --bogus
refused "'-v'" -v
refused "'extra'" extra
refused "'--chips'" --chips 2764
refused "--chip '2799'" --chip 2799
refused "--chip" --chip
refused "--board-port '0xFFFE'" --board-port 0xFFFE
refused "--board-port" --board-port
refused "--pulse '0'" --pulse 0
refused "--pulse 'ten'" --pulse ten
refused "--fault 'stuck-cell:0x2000:1'" --chip 2764 --fault stuck-cell:0x2000:1
refused "'monoflop-stuck-2'" --fault monoflop-stuck-2
refused "--fault 'weak-cell:5'" --fault weak-cell:5
refused "--no-chip" --no-chip --chip 2716
refused "--stats" --stats=yes
refused "--trace" --trace
refused "$TMP/no/such/dir/t.vcd" --trace "$TMP/no/such/dir/t.vcd"
if [ ! -e "$TMP/no" ]; then ok; else bad "a refused trace created something"; fi

# A good command line starts the program, which ends with status 1 on its exit command.
printf '1\nq\n' | timeout 60 "$SIM" --chip 27C16 --board-port 0x378 --pulse 50 --stats >"$TMP/good.out" 2>"$TMP/good.err"
rc=$?
if [ "$rc" = 1 ] && grep -q 'select Vantrel-Port' "$TMP/good.out" && grep -q Goodbye "$TMP/good.out"; then
    ok
else
    bad "good command line: status $rc"
    cat "$TMP/good.err"
fi
# Without options: the program as it is, nothing on standard error.
printf '1\nq\n' | timeout 60 "$SIM" >"$TMP/plain.out" 2>"$TMP/plain.err"
rc=$?
if [ "$rc" = 1 ] && [ ! -s "$TMP/plain.err" ] && grep -q 'Vantrel II at 0x378 ' "$TMP/plain.out"; then
    ok
else
    bad "no options: status $rc"
fi

# Short of memory the bench ends with a message and status 2, never by an uncaught exception
# (status 134). Address-space limits from "too small to load" up to "enough": each ends as
# one of those. A sanitizer build reserves more address space than any such limit allows.
if ldd "$SIM" | grep -q -e libasan -e libubsan; then
    echo "skipped: out-of-memory check (sanitizer build)"
else
    oom=0
    for kib in $(seq 4000 500 16000); do
        (ulimit -v "$kib" && printf '1\nq\n' | "$SIM" --chip 27040 >/dev/null 2>"$TMP/oom.err")
        rc=$?
        case $rc in
        0 | 1 | 127) ;; # 0: the work buffer itself could not be had (its own box)
        2) grep -q -x 'vantrel-sim: out of memory' "$TMP/oom.err" && oom=$((oom + 1)) ;;
        *) bad "ulimit -v $kib: status $rc: $(head -c 300 "$TMP/oom.err")" ;;
        esac
    done
    if [ "$oom" -gt 0 ]; then ok; else bad "no limit gave the out-of-memory message"; fi
fi

tally_end
