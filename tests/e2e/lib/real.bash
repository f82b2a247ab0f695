# Shared part of the end-to-end tests of the real vantrel binary, sourced after
# session.bash by tests/e2e/real_*.sh. CMake gives the binary and the harness library in
# VANTREL_BINARY and VANTREL_HARNESS_LIB; without them (a build for another processor) the
# script is skipped with status 77.
#
# No run here can reach a real I/O port:
# - vantrel runs with the harness preloaded, which serves every port instruction and ppdev
#   call from the board model and gives up any I/O permission the process inherited;
# - as root it runs without the CAP_SYS_RAWIO capability, so that even without the harness
#   the kernel would refuse it the ports;
# - the one run without the harness (the refused access) is as an unprivileged user.

if [ -z "${VANTREL_BINARY:-}" ] || [ -z "${VANTREL_HARNESS_LIB:-}" ]; then
    echo "$(basename "$0"): no vantrel binary for this processor, skipped"
    exit 77
fi

# Copies that any user may run: the build tree may lie where an unprivileged user cannot
# enter. $PUB is a scratch directory that any user may write.
chmod 711 "$WORK"
BIN=$WORK/bin
PUB=$WORK/pub
mkdir -p "$BIN" "$PUB"
cp "$VANTREL_BINARY" "$BIN/vantrel"
cp "$VANTREL_HARNESS_LIB" "$BIN/harness.so"
chmod 755 "$BIN" "$BIN/vantrel" "$BIN/harness.so"
chmod 1777 "$PUB"

IS_ROOT=0
[ "$(id -u)" = 0 ] && IS_ROOT=1

# True when this process may open I/O ports (CAP_SYS_RAWIO, bit 17, in its effective set).
has_rawio() {
    local eff
    eff=$(awk '/^CapEff:/ { print $2 }' /proc/self/status)
    (((16#$eff >> 17) & 1))
}

# without_rawio CMD...: CMD without the capability to open I/O ports.
without_rawio() {
    if [ "$IS_ROOT" = 1 ]; then
        setpriv --inh-caps=-sys_rawio --bounding-set=-sys_rawio -- "$@"
    elif has_rawio; then
        echo "this user may open I/O ports: refusing to run vantrel" >&2
        return 125
    else
        "$@"
    fi
}

# as_user CMD...: CMD as an unprivileged user (nobody when we are root) in $PUB.
as_user() {
    if [ "$IS_ROOT" = 1 ]; then
        (cd "$PUB" && setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
            --bounding-set=-all -- "$@")
    elif has_rawio; then
        echo "this user may open I/O ports: refusing to run vantrel" >&2
        return 125
    else
        (cd "$PUB" && "$@")
    fi
}

ASAN_HARNESS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
AS=without_rawio
REAL_TIMEOUT=${REAL_TIMEOUT:-600}

# real NAME INPUT BENCH [ARG...]: one run of vantrel with the harness, the bench set up by
# BENCH (vantrel-sim's options and the harness's own), INPUT on standard input, ARGs on the
# command line. Leaves OUT, STATUS, NAME.out and NAME.err like `run`. $AS says how to run
# it (without_rawio, or as_user); SUDO_UID and SUDO_GID are passed only when REAL_SUDO is
# set to "UID GID". A run that takes more than $REAL_TIMEOUT seconds is a hang.
real() {
    SESSION=$1
    local input=$2 bench=$3
    shift 3
    printf '%b' "$input" >"$SESSION.in"
    local sudo=(-u SUDO_UID -u SUDO_GID)
    if [ -n "${REAL_SUDO:-}" ]; then
        sudo=("SUDO_UID=${REAL_SUDO% *}" "SUDO_GID=${REAL_SUDO#* }")
    fi
    "$AS" timeout "$REAL_TIMEOUT" env "${sudo[@]}" ASAN_OPTIONS="$ASAN_HARNESS" LD_PRELOAD="$BIN/harness.so" \
        VANTREL_HARNESS="$bench" "$BIN/vantrel" "$@" <"$SESSION.in" >"$SESSION.out" 2>"$SESSION.err"
    STATUS=$?
    OUT=$(cat "$SESSION.out"; echo x)
    OUT=${OUT%x}
    if [ "$STATUS" -eq 124 ]; then
        fail "no end within $REAL_TIMEOUT s (hang)"
        show_transcript
    fi
}

# both NAME INPUT BENCH [ARG...]: the same session on vantrel (NAME) and on vantrel-sim
# (NAME.sim) with the same bench, and the program's own ARGs (--port 0xD010, a job); the
# screens must be the same byte for byte, the exit status too. A %s in BENCH becomes "sim" and "real", to give each
# its own chip file; $HARNESS_EXTRA goes to the harness only (its ppdev devices, say).
# Leaves the vantrel run as the current session.
HARNESS_EXTRA=""
both() {
    local name=$1 input=$2 bench=$3
    shift 3
    # shellcheck disable=SC2086 # the bench is a list of options
    run "$name.sim" "$input" ${bench//%s/sim} "$@"
    local sim_status=$STATUS
    real "$name" "$input" "${bench//%s/real} $HARNESS_EXTRA" "$@"
    CHECKS=$((CHECKS + 1))
    if [ "$STATUS" != "$sim_status" ] || ! cmp -s "$name.out" "$name.sim.out"; then
        fail "vantrel (status $STATUS) and vantrel-sim (status $sim_status) differ:"
        diff <(cat -A "$name.sim.out") <(cat -A "$name.out") | head -n 40
        cat "$name.err"
    fi
}

# burn_session NAME PART KEYS SIZE LAST: on vantrel and vantrel-sim alike, a PART (type
# chosen with KEYS: the level, then the type) is blank-checked over 0..0x3F, burnt with an
# image of SIZE random bytes (the range end LAST, in hex, comes from the load), verified,
# read back into a buffer cleared by loading zeros, and the buffer saved. The boxes, the
# chip file and the saved file must show the image; the wire must stay clean.
burn_session() {
    local name=$1 part=$2 keys=$3 size=$4 last=$5
    head -c "$size" /dev/urandom >"$name.img"
    head -c "$size" /dev/zero >"$name.zero"
    both "$name" \
        "1\n$keys\n+\nz\n3F\n\nl\n$name.img\n\nw\n0\n\nv\n0\n\nl\n$name.zero\n\nr\n0\n\ns\n$name.back\n\nq\n" \
        "--chip $part --chip-file %s.$name.chip --pulse 3 --stats"
    expect_status 1
    expect_boxes "Ready:|eprom is blank" "Info:|$size bytes readed from $name.img" \
        "Ready:|write ready: $last Bytes" "Ready:|compare: $last" \
        "Info:|$size bytes readed from $name.zero" \
        "Ready:|read $((16#$last)) bytes to buffer ( 0x$last ) - [#$(checksum_of "$name.img")]" \
        "Info:|$size bytes written to $name.back"
    expect_clean_wire
    expect_file_same "$name.back" "$name.img"
    check cmp -s -n "$size" "real.$name.chip" "$name.img" || fail "the chip does not hold the image"
}
