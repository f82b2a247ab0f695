#!/usr/bin/env bash
# vantrel-sim's command line: --help, and every unknown or malformed option refused with
# exit status 2 and its name on standard error, before the program starts.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# --help: usage on standard output, nothing on standard error, status 0, no program.
run help '1\nq\n' --help
expect_status 0
check head -1 help.out | grep -q '^Usage: vantrel-sim' || fail "--help does not start with the usage"
check [ ! -s help.err ] || fail "--help wrote on standard error: $(cat help.err)"
expect_lacks 'select Vantrel-Port'
for opt in --chip --no-chip --chip-file --board-port --pulse --fault --trace --stats --help; do
    check grep -q -e "$opt " help.out || fail "--help does not mention $opt"
done

# refused WHAT ARGS...: status 2, WHAT on standard error, nothing of the program on
# standard output.
refused() {
    local what=$1
    shift
    run refused '1\nq\n' "$@"
    check [ "$STATUS" = 2 ] && grep -q -F -- "$what" refused.err && [ ! -s refused.out ] ||
        fail "'$*': status $STATUS, stderr: $(cat refused.err), stdout: $(head -c 80 refused.out)"
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
refused "$WORK/no/such/dir/t.vcd" --trace "$WORK/no/such/dir/t.vcd"
check [ ! -e no ] || fail "a refused trace created something"

# A good command line starts the program, which ends with status 1 on its exit command.
run good '1\nq\n' --chip 27C16 --board-port 0x378 --pulse 50 --stats
expect_status 1
expect_has 'select Vantrel-Port'
expect_has Goodbye
# Without options: the program as it is, nothing on standard error.
run plain '1\nq\n'
expect_status 1
expect_has 'Vantrel II at 0x378 '
check [ ! -s plain.err ] || fail "standard error without options: $(cat plain.err)"

# Short of memory the bench ends with a message and status 2, never by an uncaught exception
# (status 134). Address-space limits from "too small to load" up to "enough": each ends as
# one of those. A sanitizer build reserves more address space than any such limit allows.
if ldd "$SIM" | grep -q -e libasan -e libubsan; then
    echo "skipped: out-of-memory check (sanitizer build)"
else
    SESSION=oom
    oom=0
    for kib in $(seq 4000 500 16000); do
        (ulimit -v "$kib" && printf '1\nq\n' | "$SIM" --chip 27040 >/dev/null 2>oom.err)
        rc=$?
        case $rc in
        0 | 1 | 127) ;; # 0: the work buffer itself could not be had (its own box)
        2) grep -q -x 'vantrel-sim: out of memory' oom.err && oom=$((oom + 1)) ;;
        *) check && fail "ulimit -v $kib: status $rc: $(head -c 300 oom.err)" ;;
        esac
    done
    check [ "$oom" -gt 0 ] || fail "no limit gave the out-of-memory message"
fi

finish
