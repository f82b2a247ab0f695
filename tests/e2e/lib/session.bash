# The one library of the end-to-end scripts: sourced by tests/e2e/*.sh, which are run as
#   bash script.sh /path/to/vantrel-sim
# from any directory. Each script works in a fresh scratch directory ($WORK, the current
# directory), pipes scripted operator sessions into vantrel-sim and compares what the program
# printed, its exit status and the files it left with what the operator must see.
#
# Every check counts once in CHECKS; a failed one calls `fail`, which prints what is wrong
# (and the transcript or a diff), and makes the script end non-zero at `finish`. The expect_*
# functions are checks on the current session; a check written in place reads
#   check CONDITION && MORE-CONDITIONS || fail "what is wrong"
# A script whose outside tool is not installed ends with status 77 (skipped): see `needs`.
set -u

if [ $# -lt 1 ] || [ ! -x "$1" ]; then
    echo "usage: bash $0 /path/to/vantrel-sim" >&2
    exit 2
fi
SIM=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e.XXXXXX")
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2

FAILED=0
CHECKS=0
SESSION=""

fail() {
    echo "FAIL [$SESSION]: $*"
    FAILED=$((FAILED + 1))
}

# check [COMMAND...]: counts one check and runs COMMAND (without one: succeeds).
check() {
    CHECKS=$((CHECKS + 1))
    "$@"
}

# needs PROGRAM PACKAGE: the script is skipped (status 77) where PROGRAM is not installed.
needs() {
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "$(basename "$0"): skipped: $1 is not installed (apt-get install $2)"
        exit 77
    fi
}

# run NAME INPUT [OPTION...]: one program run with INPUT (printf %b escapes allowed) on
# standard input and the given vantrel-sim options. Leaves OUT (the transcript), STATUS and
# the files NAME.in, NAME.out and NAME.err in the scratch directory.
run() {
    SESSION=$1
    local input=$2
    shift 2
    printf '%b' "$input" >"$SESSION.in"
    timeout 60 "$SIM" "$@" <"$SESSION.in" >"$SESSION.out" 2>"$SESSION.err"
    STATUS=$?
    OUT=$(cat "$SESSION.out"; echo x)
    OUT=${OUT%x}
    if [ "$STATUS" -eq 124 ]; then
        fail "no end within 60 s (hang); last lines:"
        tail -c 600 "$SESSION.out" | cat -A | tail -n 12
    fi
}

# run_with_stdin NAME closed|null [OPTION...]: as run, with standard input closed or
# /dev/null instead of a file of answers.
run_with_stdin() {
    SESSION=$1
    local how=$2
    shift 2
    case $how in
    closed) timeout 60 "$SIM" "$@" <&- >"$SESSION.out" 2>"$SESSION.err" ;;
    null) timeout 60 "$SIM" "$@" </dev/null >"$SESSION.out" 2>"$SESSION.err" ;;
    esac
    STATUS=$?
    OUT=$(cat "$SESSION.out"; echo x)
    OUT=${OUT%x}
}

# job NAME ARGS...: a job (a command line with an action) with standard input /dev/null;
# STATUS, OUT, NAME.out and NAME.err as after `run`.
job() {
    local name=$1
    shift
    run_with_stdin "$name" null "$@"
}

show_transcript() {
    echo "---- transcript of $SESSION (cat -A, last 60 lines) ----"
    cat -A "$SESSION.out" | tail -n 60
    if [ -s "$SESSION.err" ]; then
        echo "---- standard error ----"
        cat "$SESSION.err"
    fi
    echo "----"
}

expect_status() {
    CHECKS=$((CHECKS + 1))
    if [ "$STATUS" != "$1" ]; then
        fail "exit status $STATUS, expected $1"
        show_transcript
    fi
}

# expect_has PIECE: the transcript holds PIECE (printf %b escapes allowed) somewhere.
expect_has() {
    CHECKS=$((CHECKS + 1))
    local piece
    piece=$(printf '%b' "$1"; echo x)
    piece=${piece%x}
    if [[ "$OUT" != *"$piece"* ]]; then
        fail "missing piece:"
        printf '%s' "$piece" | cat -A
        echo
        show_transcript
    fi
}

expect_lacks() {
    CHECKS=$((CHECKS + 1))
    local piece
    piece=$(printf '%b' "$1"; echo x)
    piece=${piece%x}
    if [[ "$OUT" == *"$piece"* ]]; then
        fail "unexpected piece:"
        printf '%s' "$piece" | cat -A
        echo
        show_transcript
    fi
}

# expect_count N PIECE: PIECE occurs exactly N times (not overlapping).
expect_count() {
    CHECKS=$((CHECKS + 1))
    local want=$1 piece rest n=0
    piece=$(printf '%b' "$2"; echo x)
    piece=${piece%x}
    if [[ "$piece" != *$'\n'* ]]; then
        n=$(grep -o -F -e "$piece" -- "$SESSION.out" | wc -l)
    else
        rest=$OUT
        while [[ "$rest" == *"$piece"* ]]; do
            rest=${rest#*"$piece"}
            n=$((n + 1))
        done
    fi
    if [ "$n" -ne "$want" ]; then
        fail "piece seen $n times, expected $want:"
        printf '%s' "$piece" | cat -A
        echo
        show_transcript
    fi
}

# expect_exact EXPECTED: the whole transcript, byte for byte (printf %b escapes allowed).
expect_exact() {
    CHECKS=$((CHECKS + 1))
    printf '%b' "$1" >"$SESSION.want"
    if ! cmp -s "$SESSION.want" "$SESSION.out"; then
        fail "transcript differs (diff of cat -A, - expected + actual):"
        diff -u <(cat -A "$SESSION.want") <(cat -A "$SESSION.out") | head -n 80
    fi
}

# expect_ends_goodbye: the program said "Goodbye" once, as the last thing it printed.
expect_ends_goodbye() {
    CHECKS=$((CHECKS + 1))
    if [[ "$OUT" != *"Goodbye"$'\n' ]]; then
        fail "transcript does not end with Goodbye"
        show_transcript
        return
    fi
    expect_count 1 "Goodbye"
}

# The frame the program draws for a message, in printf %b form (line ends as \n, so that
# $(box ...) keeps the last one): head and text padded to a common width of at least 16,
# between two frame lines, with the Enter prompt.
box() {
    local head=$1 text=$2
    local lh=$((${#head} + 2)) lt=$((${#text} + 2)) len
    len=$lh
    [ "$lt" -gt "$len" ] && len=$lt
    [ "$len" -lt 16 ] && len=16
    local bar
    bar=$(printf '%*s' "$len" '' | tr ' ' '-')
    printf '\\n+%s+\\n| %s%*s |\\n| %s%*s |\\n| press Enter...%*s |\\n+%s+\\n' \
        "$bar" "$head" $((len - lh)) '' "$text" $((len - lt)) '' $((len - 16)) '' "$bar"
}

expect_box() {
    CHECKS=$((CHECKS + 1))
    local want
    want=$(printf '%b' "$(box "$1" "$2")"; echo x)
    want=${want%x}
    if [[ "$OUT" != *"$want"* ]]; then
        fail "missing box [$1 / $2]:"
        printf '%s' "$want"
        show_transcript
    fi
}

# expect_boxes "HEAD|TEXT" ...: exactly these boxes, in this order, and no other.
expect_boxes() {
    CHECKS=$((CHECKS + 1))
    local want="" b
    for b in "$@"; do
        want+="${b%%|*}|${b#*|}"$'\n'
    done
    local got
    got=$(list_boxes "$SESSION.out"; echo x)
    got=${got%x}
    if [ "$got" != "$want" ]; then
        fail "boxes differ (- expected + actual):"
        diff -u <(printf '%s' "$want") <(printf '%s' "$got")
        show_transcript
    fi
}

# The boxes of a transcript, one "HEAD|TEXT" a line: five lines of one width, frame,
# heading, text, Enter prompt, frame.
list_boxes() {
    awk '
    function inner(l,   s) { s = substr(l, 3, length(l) - 4); sub(/ +$/, "", s); return s }
    { line[NR] = $0 }
    END {
        for (i = 1; i + 4 <= NR; i++) {
            t = line[i]
            if (t !~ /^\+-+\+$/ || line[i + 4] != t) continue
            w = length(t); ok = 1
            for (k = 1; k <= 3; k++) {
                l = line[i + k]
                if (length(l) != w || substr(l, 1, 2) != "| " || substr(l, w - 1, 2) != " |") ok = 0
            }
            if (!ok || inner(line[i + 3]) != "press Enter...") continue
            print inner(line[i + 1]) "|" inner(line[i + 2])
            i += 4
        }
    }' "$1"
}

# The last menu screen of the transcript: from the last clear sequence to "select> ".
last_screen() {
    local s=${OUT##*$'\e[2J'}
    printf '%s' "${s%%select> *}select> "
}

expect_last_screen_has() {
    CHECKS=$((CHECKS + 1))
    local piece screen
    piece=$(printf '%b' "$1"; echo x)
    piece=${piece%x}
    screen=$(last_screen; echo x)
    screen=${screen%x}
    if [[ "$screen" != *"$piece"* ]]; then
        fail "last menu screen lacks:"
        printf '%s' "$piece" | cat -A
        echo
        echo "---- last screen ----"
        printf '%s' "$screen" | cat -A
        echo
    fi
}

# expect_err PIECE: standard error of the session holds PIECE.
expect_err() {
    CHECKS=$((CHECKS + 1))
    if ! grep -qF -- "$1" "$SESSION.err"; then
        fail "standard error lacks '$1':"
        cat "$SESSION.err"
    fi
}

# expect_clean_wire: the run's statistics (--stats) show no protocol violation and no
# hazard to the chip.
expect_clean_wire() {
    CHECKS=$((CHECKS + 1))
    if ! grep -qx 'protocol violations: 0' "$SESSION.err" || ! grep -qx 'hazards: 0' "$SESSION.err"; then
        fail "violations or hazards on the wire:"
        cat "$SESSION.err"
    fi
}

# expect_file PATH EXPECTED-BYTES-FILE: PATH holds exactly the bytes of the second file.
expect_file_same() {
    CHECKS=$((CHECKS + 1))
    if [ ! -f "$1" ]; then
        fail "file $1 missing"
        ls -la
        return
    fi
    if ! cmp "$1" "$2"; then
        fail "file $1 differs from $2 ($(stat -c %s "$1") against $(stat -c %s "$2") bytes)"
    fi
}

expect_no_file() {
    CHECKS=$((CHECKS + 1))
    if [ -e "$1" ]; then
        fail "file $1 exists"
        ls -la
    fi
}

# burn_line IMAGE: a job's write line for IMAGE burnt onto an erased chip (its 0xFF are right).
burn_line() {
    set -- "$(stat -c %s "$1")" "$(tr -d -c '\377' <"$1" | wc -c)"
    printf 'write: %d bytes ok, %d burnt, %d already right' "$1" $(($1 - $2)) "$2"
}

# A file of COUNT bytes of VALUE (0..255).
bytes_file() {
    local path=$1 count=$2 value=$3
    head -c "$count" /dev/zero | tr '\0' "$(printf '\\%03o' "$value")" >"$path"
}

# ---- Programs in the background ---------------------------------------------------------
# A program that is sent signals runs in the background; the checks wait for what they mean
# (the run under way, the program at its prompt, stopped), never for a fixed time.

# start NAME ARGS...: vantrel-sim with ARGS in a job of its own (PID; a plain background job
# would start with SIGINT and SIGQUIT ignored), its screen in NAME.out and NAME.err, its
# input a FIFO held open on descriptor 3: `printf 'q\n' >&3` types.
start() {
    SESSION=$1
    shift
    rm -f "$SESSION.fifo" && mkfifo "$SESSION.fifo"
    set -m
    "$SIM" "$@" <"$SESSION.fifo" >"$SESSION.out" 2>"$SESSION.err" &
    PID=$!
    set +m
    exec 3>"$SESSION.fifo"
}

# reap [SECONDS]: waits for PID to end, SECONDS (a minute) at most (one that hangs is killed,
# and fails the checks that follow), closes descriptor 3; STATUS and OUT as after `run`.
reap() {
    exec 4>&2 2>/dev/null # no job notices from the shell
    for _ in $(seq $((${1:-60} * 10))); do
        kill -0 "$PID" || break
        sleep 0.1
    done
    kill -KILL "$PID"
    wait "$PID"
    STATUS=$?
    exec 2>&4 4>&- 3>&-
    OUT=$(cat "$SESSION.out" 2>/dev/null; echo x)
    OUT=${OUT%x}
}

# wait_for SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds, SECONDS at most;
# fails if it never did.
wait_for() {
    local tries=$(($1 * 20)) i
    shift
    for ((i = 0; i < tries; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# state_of PID: its state letter (R running, S sleeping, T stopped, ...), nothing once gone.
state_of() { sed -n 's/^[0-9]* ([^)]*) \(.\).*/\1/p' "/proc/$1/stat" 2>/dev/null; }

# stopped PID: PID is stopped (state T).
stopped() { [ "$(state_of "$1")" = T ]; }

# burnt_cells FILE: how many cells of the chip file FILE are no longer erased.
burnt_cells() { tr -d '\377' 2>/dev/null <"$1" | wc -c; }

# burning FILE [MORE-THAN]: the chip file FILE has more than MORE-THAN (0) burnt cells: the
# burn is under way (or has gone on).
burning() { [ "$(burnt_cells "$1")" -gt "${2:-0}" ]; }

# waiting_for_input PID: PID sleeps in a poll or read of its input pipe or FIFO (the program
# at a prompt or a box).
waiting_for_input() { grep -q -E 'poll|select|pipe_read' "/proc/$1/wchan" 2>/dev/null; }

# writing_output PID: PID waits in a write to a full pipe or FIFO.
writing_output() { grep -q 'pipe_write' "/proc/$1/wchan" 2>/dev/null; }

# busy_for PID TICKS: PID has spent TICKS clock ticks (1/100 s) of processor time, far
# more than the program's start-up takes: its run is under way.
busy_for() {
    local t
    t=$(sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | awk '{ print $12 + $13 }')
    [ -n "$t" ] && [ "$t" -ge "$2" ]
}

# ---- The program's fixed screens -------------------------------------------------------

PORT_PROMPT='select Vantrel-Port\n\n0: Port 0x278\n1: Port 0x378\n2: Port 0x3BC\n3: autoscan\n\n>'

# The option groups with the settings of a freshly started program.
START_OPTIONS='<VPP>\n'\
'\t0:  [  12 V] \t1:     21 V  \t2:     25 V \n'\
'<VCC>\n'\
'\t3:  [  5 V ] \t4:   6,25 V \n'\
'<Type>\n'\
'\t5:    27C08  \t6:    27C16  \t7:    27C32 \n'\
'\t8:    27C64  \t9:   27C128  \ta:   27C256  \tb:  [27C512]\n'\
'\tc:   27C010  \td:   27C020  \te:   27C040 \n'\
'<Delay>\n'\
'\t-:    slow   \t+:    quick \n'\
'<Menu-IC>\n'\
'\tr:    read   \tw:   write   \tv:   verify  \tz:   blank  \n'\
'<Menu-File>\n'\
'\tl:    read   \ts:   write   \tq:    exit  \n'

FOOTER='\n\t\t\t\t\tV 1.00\tEPROM programmer for Linux\nselect> '

# status_line PORT CHSUM UNTIL DELAY, e.g. status_line 378 0000 FFFF 2
status_line() {
    printf 'Vantrel II at 0x%s    [ chsum: #%s  until  0x%s / delay(%s) ]\\n\\n' "$1" "$2" "$3" "$4"
}

# menu_screen PORT CHSUM UNTIL DELAY: the whole screen with the start settings.
menu_screen() {
    printf '%s' "$(printf '\\n%.0s' $(seq 26))\\033[2J$(status_line "$@")$START_OPTIONS$FOOTER"
}

# name_prompt CURRENT-NAME
name_prompt() {
    printf "Enter for '%s'\\\\n\\\\telse valid filename\\\\nnew filename> " "$1"
}

# range_prompt CURRENT MAX (hexadecimal, without 0x)
range_prompt() {
    printf '0 for 0x%s else 1.. max. 0x%s\\nnew size> ' "$1" "$2"
}

# The menu's checksum of a file's bytes: the byte sum modulo 65536; below 0x1000 the high
# byte's nibbles are swapped.
checksum_of() {
    local sum
    sum=$(od -An -v -tu1 "$1" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { print s % 65536 }')
    if [ "$sum" -lt 4096 ]; then
        sum=$(( ((sum >> 8) << 12) | (sum & 0xFF) ))
    fi
    printf '%X' "$sum"
}

# hashes_of FILE: a job's read line's figures for FILE, "sum 0xSSSS, CRC-32 0xCCCCCCCC,
# SHA-1 <as sha1sum prints it>": the 16-bit sum of the bytes, the CRC-32 of zip taken from the
# trailer gzip writes, and sha1sum's own.
hashes_of() {
    local sum
    sum=$(od -An -v -tu1 "$1" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { print s % 65536 }')
    # shellcheck disable=SC2046 # the trailer's first four bytes, least significant first
    set -- "$1" $(gzip -c "$1" | tail -c 8 | od -An -tu1 -N4)
    printf 'sum 0x%04X, CRC-32 0x%08X, SHA-1 %s' "$sum" $(($2 | $3 << 8 | $4 << 16 | $5 << 24)) \
        "$(sha1sum <"$1" | cut -c1-40)"
}

finish() {
    if [ "$FAILED" -ne 0 ]; then
        echo "$(basename "$0"): $FAILED of $CHECKS checks failed"
        exit 1
    fi
    if [ "$CHECKS" -eq 0 ]; then
        echo "$(basename "$0"): no check ran"
        exit 1
    fi
    echo "$(basename "$0"): all $CHECKS checks passed"
    exit 0
}

# real_where_there_is_one: for a script that checks vantrel-sim in any case and the real
# vantrel too where this processor has one: sources real.bash then, and sets REAL to 1 (else 0).
real_where_there_is_one() {
    REAL=0
    if [ -n "${VANTREL_BINARY:-}" ] && [ -n "${VANTREL_HARNESS_LIB:-}" ]; then
        source "$(dirname "${BASH_SOURCE[0]}")/real.bash"
        REAL=1
    fi
}
