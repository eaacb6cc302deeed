#!/bin/sh
# Fixtures for the tool's tests, readable by an ordinary user too: copies of the samples under
# other names and cases, links (one a cycle), pipes, an unreadable file, a broken library,
# descriptions that hang, crash or take memory, files with unusual names, an empty report.
# Usage: fixtures.sh <folder> <sample media> <fake data> <non-ASCII name> <output folder>
set -e
cd "$1"
M=$2 F=$3
mkdir -p tree/a/deep tree/b tree/empty folder broken
cp "$M/sample.png" tree/a/deep/still.Png
cp "$M/sample.avi" tree/a/x.AVI
cp "$M/sample.mp3" tree/a/song.mp3
cp "$M/sample.mp4" tree/b/clip.MP4
cp "$M/sample.ts" tree/c.ts
cp "$M/notes.txt" "$M/sample.wav" tree
cp "$M/sample.mp4" tree/noext
cp "$M/sample.mp4" tree/clip.mp4.txt
cp "$M/sample.mp4" folder/inside.mp4
cp "$M/sample.mp4" locked.mp4 && chmod 200 locked.mp4
printf '<AllFileInfo />\r\n' >empty.xml # a report of no files, to join
ln -s .. tree/a/loop
ln -s ../a tree/b/other
ln -s nowhere.mp4 dangling.mp4
mkfifo tree/pipe.mkv pipe.mp4
echo not a library >broken/libmediainfo.so.0
printf keep >victim
mkdir -p home/.ssh && echo 'PRIVATE KEY of the user' >home/.ssh/id_ed25519
for b in hang crash allocate; do printf 'KQFAKEMEDIA\n!%s\n' $b >$b.kqfake; done
cp "$F/non-ascii.kqfake" "$4"
cp "$F/two-audio.kqfake" 'line
break.kqfake'
chmod o+rx . "$5"
# Names that are not UTF-8 (a Latin-1 byte, a stray continuation byte, an overlong form, a cut
# sequence) beside valid ones (one starting with U+FEFF, beside the same name without it; one
# beyond the Basic Multilingual Plane whose second UTF-16 unit looks like a kept byte), and
# lists of them with NUL or line breaks (and one missing), in the order of their bytes.
mkdir -p bytes
set -- 'caf\0351.mp4' sample.mp4 'cut\0346\0227.ts' sample.ts lead.mp4 sample.png \
    'over\0300\0257\0340\0200\0257.avi' sample.avi 'stray\0200.mkv' multi.mkv \
    'valid-\0303\0251.png' sample.png 'x\0377\0357\0273\0277.ts' sample.ts \
    '\0357\0273\0277lead.mp4' sample.mp4 '\0360\0237\0222\0251.png' sample.png '\0377z.ts' sample.ts
: >bytes.list
: >bytes.lines
while [ $# -gt 0 ]; do
    cp "$M/$2" "bytes/$(printf '%b' "$1")"
    printf '%s/bytes/%b\0' "$PWD" "$1" >>bytes.list
    printf '%s/bytes/%b\n' "$PWD" "$1" >>bytes.lines
    shift 2
done
printf '%s/bytes/gone\377.mp4\n' "$PWD" >>bytes.lines
printf '%s/bytes/caf\351.mp4\0' "$PWD" >caf.list
# Each user's runs keep what they find in a cache of their own, made afresh for the tests.
mkdir -m 700 cache cache-nobody
[ "$(id -u)" != 0 ] || chown 65534:65534 cache-nobody
