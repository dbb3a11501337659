#!/usr/bin/env bash
# Every include in src/ names its folder ("engine/engine.h"), and no folder includes one of a
# layer above it: platform <- engine <- forms <- {qt, win32}; cli sits on the engine.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    platform) echo "platform" ;;
    engine) echo "platform engine" ;;
    forms) echo "platform engine forms" ;;
    cli) echo "platform engine cli" ;;
    qt) echo "platform engine forms qt" ;;
    win32) echo "platform engine forms win32" ;;
    *) echo "" ;;
    esac
}

bad=0
while IFS= read -r file; do
    layer="${file#src/}"
    layer="${layer%%/*}"
    may="$(allowed "$layer")"
    if [ -z "$may" ]; then
        echo "$file: src/$layer is no known layer" >&2
        bad=1
        continue
    fi
    while IFS= read -r included; do
        folder="${included%%/*}"
        if [ "$folder" = "$included" ]; then
            echo "$file: \"$included\" does not name its folder under src/" >&2
            bad=1
        elif ! grep -qw -- "$folder" <<<"$may"; then
            echo "$file: \"$included\" reaches up from $layer to $folder" >&2
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.h.in')
exit "$bad"
