#!/bin/sh
# Installs the build as a packager would and checks the result: the file
# tree of `cmake --install`, the desktop entry and AppStream metadata as the
# desktop's own validators see them, and the Debian package: its file list,
# its dependencies and its program, which must start and tell its version.
#   check_install.sh BUILD_DIR VERSION APP_ID
set -eu
build=$1
version=$2
id=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"

fail() { echo "FAIL: $*" >&2; exit 1; }

cat > "$work/expected" <<LIST
usr/bin/TavikStudio
usr/bin/tavik-sim
usr/share/applications/$id.desktop
usr/share/doc/tavikstudio/changelog.gz
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
usr/share/metainfo/$id.metainfo.xml
LIST

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

# The Debian package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" > "$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work/package"/tavikstudio_"$version"_*.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort > "$work/packaged"
diff -u "$work/expected" "$work/packaged" || fail "the package holds other files than expected"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6network6 iputils-ping; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "the package does not depend on $package: $depends"
done

# The packaged program itself, stripped as it ships.
dpkg-deb -x "$deb" "$work/unpacked"
shown=$("$work/unpacked/usr/bin/TavikStudio" --version 2>/dev/null)
[ "$shown" = "TavikStudio $version" ] || fail "TavikStudio --version printed '$shown', not 'TavikStudio $version'"
"$work/unpacked/usr/bin/tavik-sim" --help > /dev/null || fail "tavik-sim --help"
echo "installed tree, desktop entry, metadata and package $(basename "$deb") are sound"
