# Shared part of the end-to-end scripts: sourced by tests/e2e/*.sh, which are run as
#   bash script.sh /path/to/vantrel-sim
# from any directory. Each script works in a fresh scratch directory, pipes scripted
# operator sessions into vantrel-sim and compares what the program printed, its exit
# status and the files it left with what the operator must see. A failed check prints the
# expected piece and the transcript (or a diff) and makes the script exit non-zero.

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

# A file of COUNT bytes of VALUE (0..255).
bytes_file() {
    local path=$1 count=$2 value=$3
    head -c "$count" /dev/zero | tr '\0' "$(printf '\\%03o' "$value")" >"$path"
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
