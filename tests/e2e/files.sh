# Load and save through the menu: the byte count on both sides of the range seam, the two
# boxes of every failure, the file name kept between commands, files on disk.
source "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" "$@"

# A save straight after start writes the whole default range: 65,536 zero bytes.
run save_default '1\ns\n\n\nq\n'
expect_status 1
expect_boxes 'Info:|65536 bytes written to ./file.rom'
bytes_file zeros64k 65536 0
expect_file_same file.rom zeros64k

# An image of exactly the 27C512's size loads whole; the range end becomes 0xFFFF again.
bytes_file ff64k 65536 255
run load_full '1\nl\nff64k\n\nq\n'
expect_status 1
expect_boxes 'Info:|65536 bytes readed from ff64k'
# 65,536 bytes of 0xFF sum to 0 after wrapping.
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# One byte more is refused with its size; then the loop's own box.
bytes_file big 65537 1
run load_too_big '1\nl\nbig\n\n\nq\n'
expect_status 1
expect_boxes 'Error:|file (65537 Bytes) > 65536' 'Info:|read-error'
expect_last_screen_has "$(status_line 378 0000 FFFF 2)"

# Load a short image, save it back: the range end follows the image, and the save writes
# as many bytes as were loaded (3 bytes: range end 0x2). 0x61+0x62+0x63 = 0x126 -> 1026.
printf 'abc' >abc.bin
run short_round_trip '1\nl\nabc.bin\n\ns\nabc-copy.bin\n\nq\n'
expect_status 1
expect_boxes 'Info:|3 bytes readed from abc.bin' 'Info:|3 bytes written to abc-copy.bin'
expect_last_screen_has "$(status_line 378 1026 2 2)"
expect_file_same abc-copy.bin abc.bin

# The file name is kept: the save after a load offers and uses the loaded name.
printf 'xyz' >keep.bin
cp keep.bin keep.orig
run name_kept '1\nl\nkeep.bin\n\ns\n\n\nq\n'
expect_status 1
expect_has "$(name_prompt keep.bin)"
expect_boxes 'Info:|3 bytes readed from keep.bin' 'Info:|3 bytes written to keep.bin'
expect_file_same keep.bin keep.orig

# A failed load leaves buffer and range: the image loaded before stays in the checksum.
run failed_load_keeps_buffer '1\nl\nabc.bin\n\nl\nnothing.bin\n\n\nq\n'
expect_status 1
expect_boxes 'Info:|3 bytes readed from abc.bin' "Error:|can't open nothing.bin" 'Info:|read-error'
expect_last_screen_has "$(status_line 378 1026 2 2)"

# After a type change the limit is the new type's size (2716: 2,048 bytes).
bytes_file k2 2048 255
bytes_file k2plus 2049 255
run limit_follows_type '1\n6\nl\nk2plus\n\n\nl\nk2\n\nq\n'
expect_status 1
expect_boxes 'Error:|file (2049 Bytes) > 2048' 'Info:|read-error' 'Info:|2048 bytes readed from k2'
expect_last_screen_has "$(status_line 378 F800 7FF 2)"

# Empty file, directory, missing directory.
: >empty.bin
mkdir adir
run load_failures '1\nl\nempty.bin\n\n\nl\nadir\n\n\nl\nno/such/x.bin\n\n\nq\n'
expect_status 1
expect_boxes 'Info:|file has no content' 'Info:|read-error' \
    "Error:|can't open adir" 'Info:|read-error' \
    "Error:|can't open no/such/x.bin" 'Info:|read-error'

run save_failures '1\ns\nno/such/x.bin\n\n\ns\nadir\n\n\nq\n'
expect_status 1
expect_boxes 'Error:|file-error (create) : can not save!' 'Info:|write-error' \
    'Error:|file-error (create) : can not save!' 'Info:|write-error'
expect_no_file no
[ -d adir ] || fail "adir is no longer a directory"

# A device that fails only when the buffered bytes are flushed: a node of the full device
# (the one behind /dev/full) of our own, so that a save that wrongly replaced its target
# could not harm the system's.
if mknod full c 1 7 2>/dev/null; then
    run save_to_full_device '1\ns\nfull\n\n\nq\n'
    expect_status 1
    expect_boxes 'Error:|data-error by saving!' 'Info:|write-error'
    [ -c full ] || fail "the device node was replaced"
else
    echo "note: no device node could be made here; the full-device save is not checked"
fi

# A name of 300 characters is refused and nothing is loaded or saved under any name.
long=$(printf '%0300d' 0)
run name_too_long "1\nl\n$long\n\ns\n$long\n\nq\n"
expect_status 1
expect_boxes 'Error:|file-name too long (max. 299 characters)' \
    'Error:|file-name too long (max. 299 characters)'
expect_no_file "$long"
expect_no_file "${long:0:299}"
expect_no_file file.rom.new
# ... and the name offered next is still the old one.
expect_count 2 "$(name_prompt ./file.rom)"

# 299 characters are a valid name (a directory of 200 characters, a file of 98).
dir200=$(printf 'd%0199d' 0)
mkdir "$dir200"
name299="$dir200/$(printf 'f%097d' 7)"
[ ${#name299} = 299 ] || fail "test set-up: name of ${#name299} characters"
run name_299 "1\ns\n$name299\n\nq\n"
expect_status 1
expect_boxes "Info:|65536 bytes written to $name299"
expect_file_same "$name299" zeros64k

# Saving replaces an existing file completely and keeps its permissions.
bytes_file replace.bin 100000 7
chmod 0640 replace.bin
run replace '1\nl\nabc.bin\n\ns\nreplace.bin\n\nq\n'
expect_status 1
expect_file_same replace.bin abc.bin
[ "$(stat -c %a replace.bin)" = 640 ] || fail "replace.bin lost its permissions: $(stat -c %a replace.bin)"
leftovers=$(ls -A | grep -c 'vtmp' || true)
[ "$leftovers" = 0 ] || fail "temporary files left: $(ls -A | grep vtmp)"

# Saving through a symbolic link writes the file it names and keeps the link.
mkdir real
printf 'old' >real/chip.bin
ln -s real/chip.bin link.bin
run through_link '1\nl\nabc.bin\n\ns\nlink.bin\n\nq\n'
expect_status 1
[ -L link.bin ] || fail "link.bin is no longer a symbolic link"
expect_file_same real/chip.bin abc.bin

# A FIFO whose reader leaves early fails the save; the program goes on (an image of 200,000
# bytes for a 27C040: more than the pipe holds).
bytes_file huge 200000 1
mkfifo sink
head -c 1 sink >/dev/null &
run save_to_leaving_reader '1\ne\nl\nhuge\n\ns\nsink\n\n\nq\n'
kill $! 2>/dev/null
expect_status 1
expect_boxes 'Info:|200000 bytes readed from huge' 'Error:|data-error by saving!' 'Info:|write-error'

# A FIFO has no size to ask for: it is read to its end and the box counts what came
# (0x61 + 0x62 + 0x63 + 0x64 = 0x18A, shown 108A).
mkfifo feed
printf 'abcd' >feed &
run load_fifo '1\nl\nfeed\n\nq\n'
kill $! 2>/dev/null
expect_boxes 'Info:|4 bytes readed from feed'
expect_last_screen_has "$(status_line 378 108A 3 2)"

# A file with a second name is written in place: both names see the new image.
printf 'old' >twin.bin && ln twin.bin twin-link.bin
run hard_link '1\nl\nabc.bin\n\ns\ntwin.bin\n\nq\n'
expect_file_same twin-link.bin abc.bin

# Rights are the kernel's, as for `cat > file`. Root writes a 0444 file, which keeps its
# mode. A user is refused a 0444 file of their own, which stays as it was; another user's
# group-writable file is written in place and keeps its owner; so is a writable file in a
# directory the user cannot write, where a new file is refused.
if [ "$(id -u)" = 0 ] && cp "$SIM" sim-copy && chmod 0755 "$WORK" sim-copy &&
    setpriv --reuid=nobody --regid=nogroup --clear-groups test -x sim-copy 2>/dev/null; then
    printf 'old' >ro.bin && chmod 0444 ro.bin
    run root_read_only '1\nl\nabc.bin\n\ns\nro.bin\n\nq\n'
    expect_file_same ro.bin abc.bin
    [ "$(stat -c %a ro.bin)" = 444 ] || fail "ro.bin has mode $(stat -c %a ro.bin)"

    mkdir -m 0755 mine locked && mkdir -m 0777 shared && chown nobody mine
    printf 'old' >mine/ro.bin && chown nobody mine/ro.bin && chmod 0444 mine/ro.bin
    printf 'old' >shared/team.bin && chown root:nogroup shared/team.bin && chmod 0664 shared/team.bin
    printf 'old' >locked/open.bin && chmod 0666 locked/open.bin
    printf '#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups %s/sim-copy "$@"\n' \
        "$WORK" >as-nobody && chmod 0755 as-nobody
    real_sim=$SIM SIM=$WORK/as-nobody
    run user_rights '1\nl\nabc.bin\n\ns\nmine/ro.bin\n\n\ns\nshared/team.bin\n\ns\nlocked/open.bin\n\ns\nlocked/new.bin\n\n\nq\n'
    SIM=$real_sim
    expect_status 1
    expect_boxes 'Info:|3 bytes readed from abc.bin' \
        'Error:|file-error (create) : can not save!' 'Info:|write-error' \
        'Info:|3 bytes written to shared/team.bin' 'Info:|3 bytes written to locked/open.bin' \
        'Error:|file-error (create) : can not save!' 'Info:|write-error'
    [ "$(cat mine/ro.bin)" = old ] || fail "mine/ro.bin was changed"
    [ "$(stat -c %a mine/ro.bin)" = 444 ] || fail "mine/ro.bin has mode $(stat -c %a mine/ro.bin)"
    expect_file_same shared/team.bin abc.bin
    [ "$(stat -c %U:%G shared/team.bin)" = root:nogroup ] || fail "shared/team.bin changed owner"
    expect_file_same locked/open.bin abc.bin
    expect_no_file locked/new.bin
    [ -z "$(ls -A mine shared | grep vtmp)" ] || fail "temporary files left"
else
    echo "note: not root or no user nobody to drop to; the rights of a user are not checked"
fi

finish
