#!/usr/bin/env bash
# Makes the benchmark corpus: about N small media files of mixed containers and codecs
# (mp4, mkv, avi, ts, mov, mp3, wav, png, jpg), a few KiB to some tens of KiB each.
#
#   bench/make-corpus.sh DIR [N=300]
#
# A few dozen distinct clips are encoded once from ffmpeg's synthetic sources (bit-exact,
# single-threaded, so every run gives the same bytes) and then copied under numbered names
# until N files exist. Nothing is done when DIR already holds a corpus of N files made by
# this version of the script.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 DIR [N=300]" >&2
    exit 2
fi
dir=${1%/}
count=${2:-300}
case $count in '' | *[!0-9]*) echo "$0: N must be a number" >&2; exit 2 ;; esac
[ "$count" -ge 1 ] || { echo "$0: N must be at least 1" >&2; exit 2; }

stamp_name=.kq-bench-corpus
stamp="kq-bench-corpus version=1 count=$count"
if [ -f "$dir/$stamp_name" ] && [ "$(cat "$dir/$stamp_name")" = "$stamp" ]; then
    echo "corpus: $dir already holds $count files"
    exit 0
fi
if [ -e "$dir" ] && [ ! -f "$dir/$stamp_name" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
    echo "$0: $dir exists, is not empty and was not made by this script; not touching it" >&2
    exit 1
fi
command -v ffmpeg >/dev/null || { echo "$0: ffmpeg is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kq-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
base=$work/base
mkdir -p "$base"

# enc OUTPUT INPUT-AND-CODEC-ARGUMENTS...: one deterministic encoding into $base.
enc() {
    local out=$1
    shift
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@" \
        -map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact \
        -threads 1 "$base/$out"
}
# Synthetic inputs: v SIZE RATE SECONDS, a FREQUENCY RATE SECONDS [CHANNELS].
v() { printf '%s\n' -f lavfi -i "testsrc2=size=$1:rate=$2:duration=$3"; }
bars() { printf '%s\n' -f lavfi -i "smptebars=size=$1:rate=$2:duration=$3"; }
a() {
    if [ "${4:-1}" = 2 ]; then
        printf '%s\n' -f lavfi -i "sine=frequency=$1:sample_rate=$2:duration=$3" \
            -f lavfi -i "sine=frequency=$(($1 * 3 / 2)):sample_rate=$2:duration=$3"
    else
        printf '%s\n' -f lavfi -i "sine=frequency=$1:sample_rate=$2:duration=$3"
    fi
}
stereo=(-filter_complex "[1:a][2:a]amerge=inputs=2[st]" -map 0:v -map "[st]")
stereo_only=(-filter_complex "[0:a][1:a]amerge=inputs=2[st]" -map "[st]")
x264=(-c:v libx264 -preset veryfast -crf 30 -pix_fmt yuv420p -x264-params threads=1)
x265=(-c:v libx265 -preset ultrafast -crf 34 -pix_fmt yuv420p -x265-params log-level=none:pools=none:frame-threads=1)

srt=$work/sub.srt
printf '1\r\n00:00:00,000 --> 00:00:00,400\r\nfirst line\r\n\r\n2\r\n00:00:00,400 --> 00:00:00,900\r\nsecond line\r\n' >"$srt"

mapfile -t V1 < <(v 160x120 25 1)
mapfile -t V2 < <(v 320x240 30 0.5)
mapfile -t V3 < <(v 176x144 25 1)
mapfile -t V4 < <(bars 352x288 25 0.4)
mapfile -t V5 < <(v 96x64 24 0.3)
mapfile -t A1 < <(a 440 44100 1)
mapfile -t A2 < <(a 330 48000 0.5 2)
mapfile -t A3 < <(a 550 32000 1)
mapfile -t A4 < <(a 660 22050 1)

echo "corpus: encoding base clips into $work"
# MP4
enc h264-aac-160x120.mp4 "${V1[@]}" "${A1[@]}" "${x264[@]}" -c:a aac -b:a 48k -shortest
enc h264-aac-stereo-320x240.mp4 "${V2[@]}" "${A2[@]}" "${stereo[@]}" "${x264[@]}" -c:a aac -b:a 64k
enc mpeg4-176x144.mp4 "${V3[@]}" -c:v mpeg4 -q:v 12
enc hevc-aac-160x120.mp4 "${V1[@]}" "${A3[@]}" "${x265[@]}" -c:a aac -b:a 32k -metadata:s:a:0 language=deu
enc h264-aac-subtitle.mp4 "${V1[@]}" "${A1[@]}" -i "$srt" -map 0:v -map 1:a -map 2:s "${x264[@]}" -c:a aac -b:a 32k -c:s mov_text -shortest
enc h264-only-96x64.mp4 "${V5[@]}" "${x264[@]}"
# Matroska
enc h264-two-audio.mkv "${V1[@]}" "${A1[@]}" "${A3[@]}" -map 0:v -map 1:a -map 2:a "${x264[@]}" -c:a:0 aac -b:a:0 32k -c:a:1 libvorbis -q:a:1 0 -metadata:s:a:0 language=eng -metadata:s:a:1 language=fra
enc vp8-vorbis.mkv "${V3[@]}" "${A4[@]}" -c:v libvpx -b:v 100k -c:a libvorbis -q:a 0
enc vp9-opus.mkv "${V5[@]}" "${A1[@]}" -c:v libvpx-vp9 -b:v 80k -row-mt 0 -c:a libopus -b:a 24k -shortest
enc mpeg4-mp3-subtitle.mkv "${V1[@]}" "${A1[@]}" -i "$srt" -map 0:v -map 1:a -map 2:s -c:v mpeg4 -q:v 10 -c:a libmp3lame -b:a 32k -c:s srt -shortest
enc ffv1-64x48.mkv -f lavfi -i "testsrc=size=64x48:rate=10:duration=0.3" -c:v ffv1
enc hevc-flac.mkv "${V5[@]}" "${A4[@]}" "${x265[@]}" -c:a flac -shortest
# AVI
enc mpeg4-mp3.avi "${V1[@]}" "${A1[@]}" -c:v mpeg4 -vtag XVID -q:v 10 -c:a libmp3lame -b:a 32k -shortest
enc mjpeg-pcm.avi "${V5[@]}" "${A4[@]}" -c:v mjpeg -q:v 8 -c:a pcm_s16le -shortest
enc h264-ac3.avi "${V3[@]}" "${A3[@]}" "${x264[@]}" -c:a ac3 -b:a 64k
enc xvid-mp2.avi "${V2[@]}" "${A2[@]}" "${stereo[@]}" -c:v mpeg4 -vtag DX50 -q:v 12 -c:a mp2 -b:a 64k
# MPEG transport stream
enc mpeg2-mp2-352x288.ts "${V4[@]}" "${A3[@]}" -c:v mpeg2video -b:v 300k -c:a mp2 -b:a 64k -shortest
enc h264-aac.ts "${V1[@]}" "${A1[@]}" "${x264[@]}" -c:a aac -b:a 32k -shortest
enc hevc-ac3.ts "${V5[@]}" "${A3[@]}" "${x265[@]}" -c:a ac3 -b:a 64k -shortest
enc mpeg1-mp2.ts "${V3[@]}" "${A4[@]}" -c:v mpeg1video -b:v 150k -c:a mp2 -b:a 48k -shortest
# QuickTime
enc prores-96x64.mov "${V5[@]}" -c:v prores_ks -profile:v 0
enc h264-aac.mov "${V3[@]}" "${A1[@]}" "${x264[@]}" -c:a aac -b:a 32k -shortest
enc mjpeg-pcm.mov "${V5[@]}" "${A2[@]}" "${stereo[@]}" -c:v mjpeg -q:v 10 -c:a pcm_s16le -shortest
# Audio only
enc mono-64k.mp3 "${A1[@]}" -c:a libmp3lame -b:a 64k
enc stereo-96k.mp3 "${A2[@]}" "${stereo_only[@]}" -c:a libmp3lame -b:a 96k
enc mono-32k-22k.mp3 "${A4[@]}" -c:a libmp3lame -b:a 32k -t 2
enc mono-8k.wav -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.5" -c:a pcm_s16le
enc stereo-44k.wav "${A2[@]}" "${stereo_only[@]}" -c:a pcm_s16le -ar 44100 -t 0.2
enc mono-16k.wav -f lavfi -i "sine=frequency=880:sample_rate=16000:duration=0.6" -c:a pcm_s16le
# Still images
enc testsrc-64x48.png -f lavfi -i "testsrc=size=64x48:rate=1:duration=1" -frames:v 1
enc bars-160x120.png "${V4[@]}" -s 160x120 -frames:v 1
enc testsrc2-200x150.png -f lavfi -i "testsrc2=size=200x150:rate=1:duration=1" -frames:v 1
enc testsrc2-160x120.jpg "${V1[@]}" -frames:v 1 -q:v 5
enc testsrc2-320x240.jpg "${V2[@]}" -frames:v 1 -q:v 8
enc bars-640x480.jpg -f lavfi -i "smptebars=size=640x480:rate=1:duration=1" -frames:v 1 -q:v 20

mapfile -t clips < <(cd "$base" && ls | LC_ALL=C sort)
[ ${#clips[@]} -gt 0 ] || { echo "$0: no clip was made" >&2; exit 1; }

# Numbered copies, cycling through the clips, so every kind appears about equally often.
staging=$work/corpus
mkdir -p "$staging"
for ((i = 0; i < count; ++i)); do
    clip=${clips[i % ${#clips[@]}]}
    cp "$base/$clip" "$(printf '%s/%04d-%s' "$staging" "$i" "$clip")"
done
printf '%s\n' "$stamp" >"$staging/$stamp_name"

# Replace an older corpus of ours only now that the new one is whole.
if [ -f "$dir/$stamp_name" ]; then
    find "$dir" -mindepth 1 -maxdepth 1 \( -name "$stamp_name" -o -name '[0-9][0-9][0-9][0-9]-*' \) -delete
    rmdir "$dir" 2>/dev/null || true
fi
mkdir -p "$(dirname "$dir")"
if [ -d "$dir" ]; then
    mv "$staging"/* "$staging/$stamp_name" "$dir/"
else
    mv "$staging" "$dir"
fi
bytes=$(du -sb "$base" | cut -f1)
echo "corpus: $dir: $count files from ${#clips[@]} distinct clips (${bytes} bytes of clips)"
