#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the program.
# Idempotent: only what is missing is installed; the package lists are refreshed
# only when a wanted package is unknown to apt.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-wayland
    libtinyxml-dev libseccomp-dev libsqlite3-dev
    libmediainfo0v5 libmediainfo-dev
    mediainfo
    xdg-utils procps parallel dbus sqlite3
    fonts-dejavu-core fonts-wqy-microhei
    xvfb xauth xdotool imagemagick
)
# Regenerating sample media and running the benchmarks also need ffmpeg and GNU time.
[ "${KQ_WITH_MEDIA_TOOLS:-0}" = 1 ] && packages+=(ffmpeg time)
# The fuzz targets are built with clang and its libFuzzer and sanitizer runtimes.
[ "${KQ_WITH_FUZZ_TOOLS:-0}" = 1 ] && packages+=(clang libclang-rt-14-dev)
# Building the Debian package (dpkg-shlibdeps reads the dependencies, file finds the ELF
# files for it), checking it with lintian, and validating the installed desktop entry and
# metainfo.
[ "${KQ_WITH_PACKAGING_TOOLS:-0}" = 1 ] && packages+=(dpkg-dev file desktop-file-utils appstream lintian)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! apt-cache show "${missing[@]}" >/dev/null 2>&1; then
    $sudo apt-get update -qq
fi
echo "Installing: ${missing[*]}"
if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
