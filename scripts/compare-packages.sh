#!/bin/sh
# Builds the Debian packages of one commit twice, each from its own clone in
# its own folder, and compares them byte for byte: the packages must not
# depend on where or when they were built. File times come from the
# commit (SOURCE_DATE_EPOCH), as scripts/package.sh sets them.
#
#   scripts/compare-packages.sh          the commit checked out (HEAD)
#   scripts/compare-packages.sh v6.9.2   another commit or tag
#
# Takes two full builds; prints "packages: N same, N different".
set -eu
cd "$(dirname "$0")/.."
commit=$(git rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for side in a b; do
    git clone --quiet --no-local . "$work/$side"
    git -C "$work/$side" checkout --quiet "$commit"
    (cd "$work/$side" && scripts/package.sh build > "$work/$side.log" 2>&1) \
        || { tail -30 "$work/$side.log"; echo "build $side failed"; exit 1; }
done

same=0
different=0
for deb in "$work"/a/build/package/*.deb; do
    name=$(basename "$deb")
    if cmp -s "$deb" "$work/b/build/package/$name"; then
        same=$((same + 1))
        echo "same: $name"
    else
        different=$((different + 1))
        echo "different: $name"
    fi
done
echo "packages: $same same, $different different"
[ "$different" -eq 0 ] && [ "$same" -gt 0 ]
