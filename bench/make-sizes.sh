#!/usr/bin/env bash
# Makes the real-sized files of the benchmark: 1280x720 H.264 video with AAC stereo audio at
# about 8 Mbit/s, 10 to 180 seconds long, each in MP4, Matroska and MPEG-TS (tens to hundreds
# of MB each, about 1 GB in all).
#
#   bench/make-sizes.sh DIR [SECONDS...]   (default 10 30 60 120 180)
#
# Each length is encoded once from ffmpeg's synthetic sources and copied into the other two
# containers without encoding again. Files already there are kept.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 DIR [SECONDS...]" >&2; exit 2; }
dir=${1%/}
shift
lengths=("$@")
[ ${#lengths[@]} -gt 0 ] || lengths=(10 30 60 120 180)
command -v ffmpeg >/dev/null || { echo "$0: ffmpeg is needed" >&2; exit 1; }
mkdir -p "$dir"

for s in "${lengths[@]}"; do
    base=$dir/h264-720p-${s}s
    if [ ! -s "$base.mp4" ]; then
        # Constant bit rate with filler, so that the size follows the length.
        ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$s" \
            -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$s" -ac 2 \
            -c:v libx264 -preset ultrafast -b:v 8M -minrate 8M -maxrate 8M -bufsize 4M \
            -x264-params nal-hrd=cbr -pix_fmt yuv420p -c:a aac -b:a 128k "$base.tmp.mp4"
        mv "$base.tmp.mp4" "$base.mp4"
    fi
    for container in mkv ts; do
        [ -s "$base.$container" ] ||
            ffmpeg -nostdin -loglevel error -y -i "$base.mp4" -c copy "$base.$container"
    done
done
ls -l "$dir"
