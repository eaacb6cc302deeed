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
