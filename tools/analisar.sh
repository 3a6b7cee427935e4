#!/usr/bin/env bash
# Static analysis: clang-format must leave every source unchanged and clang-tidy must find
# nothing in src/. Uses the compile commands of a configured build (default: build/ci).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
[ -f "$build/compile_commands.json" ] || cmake --preset ci >/dev/null

fontes=$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'fuzz/*.cpp' 'bench/*.cpp' 'falsa/*.c')
echo "clang-format: $(echo "$fontes" | wc -l) files"
clang-format --dry-run --Werror $fontes

echo "clang-tidy: src/"
git ls-files 'src/*.cpp' | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "static analysis: no findings"
