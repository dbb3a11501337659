#!/usr/bin/env bash
# clang-tidy (.clang-tidy) over the code below the windows, from the dev build's compile commands.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/dev/compile_commands.json ] || cmake --preset dev >/dev/null
git ls-files 'src/engine/*.cpp' 'src/platform/*.cpp' 'src/forms/*.cpp' 'src/cli/*.cpp' |
    grep -v '/win32/' |
    xargs -P 2 -n 4 clang-tidy-14 -p build/dev --quiet
