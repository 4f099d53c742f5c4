#!/usr/bin/env bash
# Builds the Debian package from a configured build folder (default build/) and checks it as a
# user meets it: the package lists its dependencies and files, apt could install it here, the
# desktop entry and the metainfo pass their validators, and the program installed from it,
# started by its menu entry's command in a home folder holding the example page, stays up
# until it is stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
app_id=example.folianta.folianta
seconds_up=3

echo "== the 256 px icon is the SVG's rendering"
rsvg-convert -w 256 -h 256 "packaging/icons/$app_id.svg" |
    compare -metric AE -fuzz 2% "packaging/icons/$app_id-256.png" - null: 2>/dev/null ||
    { echo "packaging/icons/$app_id-256.png is stale: render it again from the SVG"; exit 1; }

echo "== package"
cmake --build "$build" --target folianta
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$build/packages")
deb=$(echo "$build"/packages/folianta_*.deb)
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
apt-get install --simulate "$deb" >/dev/null
# Linked, found by dpkg-shlibdeps, and read at run time, named by hand: both are needed for https.
for needed in libssl3 ca-certificates; do
    dpkg-deb -f "$deb" Depends | grep -qw "$needed" ||
        { echo "the package does not depend on $needed"; exit 1; }
done

version=$(dpkg-deb -f "$deb" Version)
release=$(grep -o -m1 '<release version="[^"]*"' "packaging/$app_id.metainfo.xml" | cut -d'"' -f2)
[ "${version%-*}" = "$release" ] ||
    { echo "the metainfo's newest release is $release, the package is $version"; exit 1; }

scratch=$(mktemp -d)
program=""
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
root=$scratch/root
dpkg-deb -x "$deb" "$root"

echo "== installed files"
share=$root/usr/share
for f in usr/bin/folianta "usr/share/applications/$app_id.desktop" \
    "usr/share/metainfo/$app_id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
    "usr/share/icons/hicolor/256x256/apps/$app_id.png" usr/share/doc/folianta/README.md \
    usr/share/doc/folianta/examples/short.shtml; do
    [ -s "$root/$f" ] || { echo "missing from the package: /$f"; exit 1; }
done
file -b "$share/icons/hicolor/256x256/apps/$app_id.png" | grep -q '256 x 256' ||
    { echo "the hicolor 256x256 icon is not 256 x 256 pixels"; exit 1; }
desktop-file-validate "$share/applications/$app_id.desktop"
appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml"
appstreamcli validate-tree --no-net "$root"

echo "== started from the menu entry, offscreen, in a home folder with the example page"
home=$scratch/home
mkdir "$home"
mkdir -m 700 "$scratch/runtime"
cp "$share/doc/folianta/examples/short.shtml" "$home/"
# As a menu starts it without a file: the field codes (%f and the like) stand for nothing.
read -ra command <<<"$(sed -n 's/^Exec=//p' "$share/applications/$app_id.desktop" |
    sed 's/ %[fFuUick]//g')"
(cd "$home" && HOME=$home XDG_RUNTIME_DIR=$scratch/runtime PATH=$root/usr/bin:$PATH \
    QT_QPA_PLATFORM=offscreen exec "${command[@]}") &
program=$!
sleep "$seconds_up"
kill -0 "$program" 2>/dev/null || { echo "the installed program ended by itself"; exit 1; }
kill -TERM "$program"
status=0
wait "$program" || status=$?
program=""
[ "$status" -eq 143 ] || { echo "the installed program ended with $status, not by SIGTERM"; exit 1; }
echo "the installed program stayed up for ${seconds_up}s and ended when stopped"
