#!/bin/sh
# The source folders are layers, lowest first:
#   data device discovery work editors maintenance | ui app
# A file may include files of its own folder and of lower ones, never of a
# higher one. The folders left of "|" build into the widget-free core
# (TavikCore) and include no widget or form; ui/ and app/ hold only widget
# code (TavikWidgets). Prints the includes by folder, then every wrong-way
# include, and fails when there is one, when a selected...(), current...()
# or find...() function moves a store's cursor or search, or when the
# editors or the window use a store's cursor at all.
#
#   scripts/check-layers.sh
set -eu
cd "$(dirname "$0")/.."

layers="data device discovery work editors maintenance ui app"
core="data device discovery work editors maintenance"

rank() {
    n=0
    for layer in $layers; do
        [ "$layer" = "$1" ] && { echo "$n"; return; }
        n=$((n + 1))
    done
    echo -1
}

arrows=$(mktemp)
trap 'rm -f "$arrows"' EXIT
for folder in $layers; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -f "$file" ] || continue
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)\/[^"]*".*/\1/p' "$file" |
            while read -r target; do
                [ "$(rank "$target")" -ge 0 ] && echo "$folder $target $file"
            done
    done
done >"$arrows"

echo "includes by folder (from -> to: count):"
awk '$1 != $2 { print $1 " -> " $2 }' "$arrows" | sort | uniq -c | sort -k2

failed=0
while read -r from to file; do
    if [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
        echo "wrong way: $file ($from) includes a file of $to/"
        failed=1
    fi
done <"$arrows"

for folder in $core; do
    if grep -n -E '#[[:space:]]*include[[:space:]]*[<"](QtWidgets/|QtGui/|ui_)' "$folder"/*.h "$folder"/*.cpp 2>/dev/null; then
        echo "widget code in the core folder $folder/ (above)"
        failed=1
    fi
    if grep -v '^[[:space:]]*#' "$folder/CMakeLists.txt" | grep -q TavikWidgets; then
        echo "$folder/CMakeLists.txt builds files into TavikWidgets: widget files belong in ui/ or app/"
        failed=1
    fi
done
for folder in ui app; do
    if grep -v '^[[:space:]]*#' "$folder/CMakeLists.txt" | grep -q TavikCore; then
        echo "$folder/CMakeLists.txt builds files into TavikCore: widget-free files belong in a core folder"
        failed=1
    fi
done

# A function named for what is selected, current or found answers a
# question: it must not move a store's cursor or switch its search, or the
# caller's next edit lands on another record and a list shows another set.
movers=$(awk '
    /^[A-Za-z].*::(selected|current|find)[A-Za-z]*\(.*\)( const)?$/ { name = $0; inside = 1; next }
    inside && /^}/ { inside = 0; next }
    inside && /setCurrent\(|select\(|first\(\)|next\(\)|setFilter\(|setCurrentKey\(/ { print FILENAME ": " name ": " $0 }
' $(for layer in $layers; do ls "$layer"/*.cpp 2>/dev/null; done))
if [ -n "$movers" ]; then
    echo "$movers"
    echo "a selected...(), current...() or find...() function moves a cursor or a search (above): name it for the move, or leave them"
    failed=1
fi

# The editors and the window address a record by its key (read, change,
# insert, remove, move by key): a store's cursor is the store's own, and
# a cursor moved by one of them would be the next one's surprise.
cursors=$(grep -n -E 'setCurrentKey\(|[.>]setCurrent\(|[.>]select\(|removeCurrent\(|currentRecord\(|insertRecord\(|[.>]hasCurrent\(|[.>]current\(\)|^[[:space:]]*[A-Za-z_][A-Za-z_0-9.()>-]*[.>](first|next)\(\);' \
    editors/*.h editors/*.cpp ui/*.h ui/*.cpp app/*.h app/*.cpp 2>/dev/null || true)
if [ -n "$cursors" ]; then
    echo "$cursors"
    echo "a store's cursor used outside the stores (above): address the record by its key"
    failed=1
fi

if [ "$failed" -ne 0 ]; then
    echo "layers: FAILED"
    exit 1
fi
echo "layers: every include runs down or within its folder"
