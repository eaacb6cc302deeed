#!/usr/bin/env bash
# CI: the program installed the ways a user gets it.
#  1. `cmake --install` of a tested build into a staging prefix: the desktop entry and the
#     metainfo pass their validators, and the staged report tool writes the same report as
#     the built one.
#  2. `make package`, the package installed with apt: /usr/bin/kqmediareport works, the
#     desktop entry is in /usr/share/applications. The package is removed again afterwards
#     unless KQ_KEEP_PACKAGE=1.
# BUILD_DIR names the tested build (default build/ci). Installing the package needs root
# (or sudo): run it on a throwaway machine.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/ci}
app=example.kqmedia.KQCheckMediaInfo
sample=tests/data/media/sample.mp4

step() { printf '\n== %s\n' "$*"; }
fail() {
    printf 'ci-install-check: %s\n' "$*" >&2
    exit 1
}
# A validator passes when it succeeds and reports nothing worse than hints, infos and
# pedantic notes.
validate() {
    local out
    if ! out=$("$@" 2>&1); then
        printf '%s\n' "$out" >&2
        fail "$1 failed"
    fi
    [ -z "$out" ] || printf '%s\n' "$out"
    if grep -Eq '^ *(E|W): |: (error|warning): ' <<<"$out"; then
        fail "$1 reported errors or warnings"
    fi
}

[ -x "$build/bin/kqmediareport" ] || fail "no build in $build (run make test PRESET=ci first)"
KQ_WITH_PACKAGING_TOOLS=1 bash scripts/install-deps.sh

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stage=$tmp/stage

step "cmake --install $build --prefix <staging>"
cmake --install "$build" --prefix "$stage" >/dev/null
find "$stage" -type f | sed "s|^$stage/||" | sort

step "Validators"
validate desktop-file-validate "$stage/share/applications/$app.desktop"
validate appstreamcli validate --no-net --pedantic "$stage/share/metainfo/$app.metainfo.xml"
validate appstreamcli validate-tree --no-net --pedantic "$stage"

step "Staged kqmediareport against $build/bin/kqmediareport"
"$build/bin/kqmediareport" "$sample" >"$tmp/built.xml"
grep -q '<FileInfo>' "$tmp/built.xml" || fail "the built tool wrote no FileInfo for $sample"
# The staged tool must find its own worker, not the build's.
env -u KQ_MEDIA_WORKER "$stage/bin/kqmediareport" "$sample" >"$tmp/staged.xml"
cmp "$tmp/built.xml" "$tmp/staged.xml" || fail "the staged tool wrote another report"
echo "same report"

step "make package"
make package
version=$("$build/bin/kqmediareport" --version | awk '{print $2}')
deb=build/package/kqcheckmediainfo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $deb"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
for wanted in libmediainfo0v5 xdg-utils libqt6widgets6 libtinyxml2.6.2v5; do
    grep -Eq "(^|, )$wanted( |,|$)" <<<"$depends" || fail "Depends lacks $wanted: $depends"
done

step "lintian $deb"
# Informational tags are fine; an error or a warning fails CI.
lintian --allow-root --fail-on error,warning --display-info "$deb" || fail "lintian reported errors or warnings"

step "apt-get install ./$deb"
$sudo apt-get install -y -qq --reinstall "./$deb"
installed=$(dpkg-query -W -f='${Version}' kqcheckmediainfo)
[ "$installed" = "$version" ] || fail "installed version $installed, not $version"

step "Installed package"
[ "$(/usr/bin/kqmediareport --version)" = "kqmediareport $version" ] ||
    fail "/usr/bin/kqmediareport --version: $(/usr/bin/kqmediareport --version)"
env -u KQ_MEDIA_WORKER /usr/bin/kqmediareport "$sample" >"$tmp/packaged.xml"
cmp "$tmp/built.xml" "$tmp/packaged.xml" || fail "/usr/bin/kqmediareport wrote another report"
echo "/usr/bin/kqmediareport: same report"
entry=/usr/share/applications/$app.desktop
dpkg -L kqcheckmediainfo | grep -qx "$entry" || fail "$entry is not in the package"
grep -qx 'Exec=KQCheckMediaInfo %F' "$entry" || fail "$entry does not start KQCheckMediaInfo with the files"
# The package's trigger has run update-desktop-database: file managers offer the program.
grep -q "^video/mp4=.*$app.desktop" /usr/share/applications/mimeinfo.cache ||
    fail "update-desktop-database does not list $app.desktop for video/mp4"
[ "$(command -v KQCheckMediaInfo)" = /usr/bin/KQCheckMediaInfo ] || fail "KQCheckMediaInfo is not on PATH"
validate desktop-file-validate "$entry"
echo "$entry starts /usr/bin/KQCheckMediaInfo"
# The window opens and waits for its user: still running when timeout stops it.
status=0
timeout 5 env QT_QPA_PLATFORM=offscreen /usr/bin/KQCheckMediaInfo || status=$?
[ "$status" = 124 ] || fail "/usr/bin/KQCheckMediaInfo ended with status $status"
echo "/usr/bin/KQCheckMediaInfo opens its window"

if [ "${KQ_KEEP_PACKAGE:-0}" != 1 ]; then
    step "apt-get remove kqcheckmediainfo"
    $sudo apt-get remove -y -qq kqcheckmediainfo
    [ ! -e /usr/bin/kqmediareport ] || fail "/usr/bin/kqmediareport is left after removal"
fi
echo
echo "ci-install-check: all passed"
