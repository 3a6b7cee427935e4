#!/usr/bin/env bash
# Static analysis: clang-format must leave every tracked source unchanged, and clang-tidy must
# find nothing in the sources of src/ that a configured build compiles (its compile database,
# default build/ci): the other platform's twins (`_windows.cpp` in a Linux build) are not
# compiled there, so they are not analysed there either.
#   tools/analisar.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
[ -f "$build/compile_commands.json" ] || cmake --preset ci -B "$build" >/dev/null

fontes=$(git ls-files 'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'fuzz/*.cpp' 'bench/*.cpp' 'falsa/*.c')
echo "clang-format: $(echo "$fontes" | wc -l) files"
clang-format --dry-run --Werror $fontes

compiladas=$(python3 - "$build/compile_commands.json" "$PWD/src/" <<'PY'
import json, os, sys
comandos, raiz = json.load(open(sys.argv[1])), sys.argv[2]
caminhos = {os.path.normpath(os.path.join(c["directory"], c["file"])) for c in comandos}
print("\n".join(sorted(c for c in caminhos if c.startswith(raiz))))
PY
)
echo "clang-tidy: $(echo "$compiladas" | wc -l) files of src/ in $build/compile_commands.json"
echo "$compiladas" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "static analysis: no findings"
