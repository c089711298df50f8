#!/bin/sh
# Installs the build as a packager would and checks the result: the file
# tree of `cmake --install`, the desktop entry and AppStream metadata as the
# desktop's own validators see them, and the two Debian packages (the
# program, and the simulator a training room wants): their file lists, their
# relations, lintian's verdict, the hardening of their programs, and the
# programs themselves, which must tell their version with no display.
#   check_install.sh BUILD_DIR VERSION APP_ID REVISION
set -eu
build=$1
version=$2
id=$3
revision=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"

fail() { echo "FAIL: $*" >&2; exit 1; }

cat > "$work/expected-sim" <<LIST
usr/bin/tavik-sim
usr/share/doc/tavik-sim/changelog.Debian.gz
usr/share/doc/tavik-sim/copyright
usr/share/man/man1/tavik-sim.1.gz
LIST
cat > "$work/expected-studio" <<LIST
usr/bin/TavikStudio
usr/share/applications/$id.desktop
usr/share/doc/tavikstudio/changelog.Debian.gz
usr/share/doc/tavikstudio/copyright
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/16x16/apps/$id.png
usr/share/icons/hicolor/22x22/apps/$id.png
usr/share/icons/hicolor/24x24/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/32x32/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/64x64/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/TavikStudio.1.gz
usr/share/metainfo/$id.metainfo.xml
LIST
LC_ALL=C sort "$work/expected-studio" "$work/expected-sim" > "$work/expected"

# The tree of `cmake --install`: exactly these files, nothing of the tests
# or benchmarks.
DESTDIR="$work/root" cmake --install "$build" --prefix /usr > /dev/null
(cd "$work/root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) > "$work/installed"
diff -u "$work/expected" "$work/installed" || fail "cmake --install puts other files than expected"

root=$work/root/usr
for size in 16 22 24 32 48 64 128 256; do
    file "$root/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "$size x $size" \
        || fail "the ${size}x$size icon is not $size pixels square"
done
entry=$root/share/applications/$id.desktop
desktop-file-validate "$entry" || fail "desktop entry"
grep -qx "Icon=$id" "$entry" || fail "the desktop entry names another icon"
grep -qx "Exec=TavikStudio" "$entry" || fail "the desktop entry starts another program"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" || fail "AppStream metadata"
grep -q "<release version=\"$version\"" "$root/share/metainfo/$id.metainfo.xml" \
    || fail "the AppStream metadata names another release"
if readelf -d "$root/bin/TavikStudio" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "the installed program still looks for libraries in the build folder"
fi

# The Debian packages.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" > "$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack"; }
studio=$(ls "$work/package"/tavikstudio_"$version-$revision"_*.deb)
sim=$(ls "$work/package"/tavik-sim_"$version-$revision"_*.deb)
for pair in "studio:$studio" "sim:$sim"; do
    deb=${pair#*:}
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort > "$work/packaged"
    diff -u "$work/expected-${pair%%:*}" "$work/packaged" || fail "$(basename "$deb") holds other files than expected"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version-$revision" ] || fail "$(basename "$deb"): package version"
done
depends=$(dpkg-deb -f "$studio" Depends)
for package in libqt6widgets6 libqt6network6 iputils-ping; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "the package does not depend on $package: $depends"
done
[ "$(dpkg-deb -f "$studio" Recommends)" = "ca-certificates, fonts-liberation2" ] || fail "the package does not recommend ca-certificates and an Arial-metric font"
[ "$(dpkg-deb -f "$studio" Suggests)" = "tavik-sim" ] || fail "the package does not suggest tavik-sim"

# What a Debian packager's lint says: no error and no warning, but one: a
# first upload to Debian would close the bug that asked for the package,
# and these packages are not uploaded to Debian.
lintian --pedantic --tag-display-limit 0 --suppress-tags initial-upload-closes-no-bugs \
    "$studio" "$sim" > "$work/lintian.log" 2>&1 \
    || grep -qE '^[EW]:' "$work/lintian.log" || { cat "$work/lintian.log"; fail "lintian did not run"; }
if grep -E '^[EW]:' "$work/lintian.log"; then
    fail "lintian found errors or warnings"
fi

# The packaged programs themselves, stripped and hardened as they ship, and
# asked for their version with no display at all.
dpkg-deb -x "$studio" "$work/unpacked"
dpkg-deb -x "$sim" "$work/unpacked"
for program in TavikStudio tavik-sim; do
    readelf -h "$work/unpacked/usr/bin/$program" | grep -q 'DYN' || fail "$program is not position-independent"
    readelf -d "$work/unpacked/usr/bin/$program" | grep -q 'BIND_NOW' || fail "$program is not bound at start"
    readelf -lW "$work/unpacked/usr/bin/$program" | grep -q 'GNU_RELRO' || fail "$program has no read-only relocations"
done
nm -D "$work/unpacked/usr/bin/TavikStudio" | grep -q '__stack_chk_fail' || fail "TavikStudio has no stack protector"
shown=$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$work/unpacked/usr/bin/TavikStudio" --version 2>/dev/null) \
    || fail "TavikStudio --version failed with no display"
[ "$shown" = "TavikStudio $version" ] || fail "TavikStudio --version printed '$shown', not 'TavikStudio $version'"
env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$work/unpacked/usr/bin/TavikStudio" --help > /dev/null \
    || fail "TavikStudio --help failed with no display"
"$work/unpacked/usr/bin/tavik-sim" --help > /dev/null || fail "tavik-sim --help"
echo "installed tree, desktop entry, metadata and packages $(basename "$studio") and $(basename "$sim") are sound"
