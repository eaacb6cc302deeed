#!/usr/bin/env bash
# Regenerates the sample media in tests/data/media/ and their expected reports in
# tests/data/expected/. Needs ffmpeg, mediainfo and python3; the tests need none of them.
#
# The expected reports come from the `mediainfo` command (the same library, asked through its
# own --Inform templates), never from this program, so the tests compare against an
# independent reading. Every sample is tiny and, as far as ffmpeg allows, bit-exact from run
# to run: no metadata, no chapters, fixed sizes and durations, single-threaded encoders.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
media="$root/tests/data/media"
expected="$root/tests/data/expected"

for tool in ffmpeg mediainfo python3; do
    command -v "$tool" >/dev/null || { echo "make-sample-media: $tool is needed" >&2; exit 1; }
done

# Non-ASCII names must reach ffmpeg and mediainfo intact whatever the caller's locale.
export LC_ALL=C.UTF-8

mkdir -p "$media" "$expected"
rm -f "$media"/* "$expected"/*.xml

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# Output options for every file: no tags, no chapters, no version strings or random ids.
exact=(-map_metadata -1 -map_chapters -1 -fflags +bitexact -flags +bitexact)
bars=(-f lavfi -i "smptebars=size=64x48:rate=10:duration=1")
tone=(-f lavfi -i "sine=frequency=440:sample_rate=22050:duration=1")
x264=(-c:v libx264 -preset ultrafast -crf 40 -threads 1 -pix_fmt yuv420p)

# MP4: H.264 + AAC.
ff "${bars[@]}" "${tone[@]}" -map 0:v -map 1:a "${x264[@]}" -c:a aac -b:a 24k \
    "${exact[@]}" "$media/sample.mp4"

# Matroska: two video, two audio streams with languages, one subtitle stream.
printf '1\r\n00:00:00,000 --> 00:00:00,900\r\nHello & <bye>\r\n' >"$scratch/sub.srt"
ff "${bars[@]}" "${tone[@]}" \
    -f lavfi -i "testsrc=size=32x24:rate=5:duration=1" \
    -f lavfi -i "sine=frequency=880:sample_rate=16000:duration=1" \
    -i "$scratch/sub.srt" \
    -map 0:v -map 2:v -map 1:a -map 3:a -map 4:s \
    -c:v:0 libx264 -preset ultrafast -crf 40 -threads 1 -pix_fmt yuv420p \
    -c:v:1 mpeg4 -q:v:1 20 \
    -c:a:0 aac -b:a:0 24k -c:a:1 libvorbis -q:a:1 0 -c:s srt \
    -metadata:s:a:0 language=eng -metadata:s:a:1 language=fra -metadata:s:s:0 language=eng \
    "${exact[@]}" "$media/multi.mkv"

# AVI: MPEG-4 Visual + MP3; a small index reservation keeps the file a few KiB.
ff "${bars[@]}" "${tone[@]}" -map 0:v -map 1:a -c:v mpeg4 -q:v 20 -c:a libmp3lame -b:a 16k \
    -reserve_index_space 32 "${exact[@]}" "$media/sample.avi"

# MPEG-TS: MPEG-2 video marked PAL (so "Standard" has a value) + MPEG-1 layer II audio.
ff "${bars[@]}" "${tone[@]}" -map 0:v -map 1:a -c:v mpeg2video -q:v 20 -video_format pal \
    -c:a mp2 -b:a 32k "${exact[@]}" "$media/sample.ts"

# Audio only: MP3 (MPEG-2 layer 3 at 22.05 kHz) and PCM WAV.
ff "${tone[@]}" -c:a libmp3lame -b:a 24k "${exact[@]}" "$media/sample.mp3"
ff -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.25" -c:a pcm_s16le \
    "${exact[@]}" "$media/sample.wav"

# Still image.
ff -f lavfi -i "testsrc=size=64x48:rate=1:duration=1" -frames:v 1 -c:v png \
    "${exact[@]}" "$media/sample.png"

# Non-ASCII name; video only, so its report has no Audio element.
ff -f lavfi -i "smptebars=size=48x32:rate=5:duration=0.6" "${x264[@]}" \
    "${exact[@]}" "$media/clip-été-日本.mp4"

# "&" in the name; audio only with two tracks, so its report has two Audio and no Video.
ff -f lavfi -i "sine=frequency=330:sample_rate=16000:duration=0.5" \
    -f lavfi -i "sine=frequency=660:sample_rate=16000:duration=0.5" \
    -map 0:a -map 1:a -c:a aac -b:a 16k \
    -metadata:s:a:0 language=deu -metadata:s:a:1 language=jpn \
    "${exact[@]}" "$media/a&b.mp4"

# A name that looks like a character reference: it must still be escaped.
ff -f lavfi -i "color=c=gray:size=16x16:rate=1:duration=1" -frames:v 1 -c:v png \
    "${exact[@]}" "$media/&#x41;.png"

# Not media at all.
printf 'These are plain notes, not a media file.\n' >"$media/notes.txt"

python3 "$root/tools/expected-report.py" --media "$media" --out "$expected"

du -sh "$media" "$expected"
