#!/usr/bin/env bash
# Builds the `cobertura` preset (g++ --coverage), runs every test, and prints gcovr's line and
# branch coverage of src/ (unreachable and exception-only branches left out). Fails when
# src/protocolo/ or src/acbr/ is below 95 % of lines or 90 % of branches.
#   tools/cobertura.sh [BUILD_DIR]        BUILD_DIR defaults to build/cobertura
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/cobertura}
cmake --preset cobertura -B "$build" >/dev/null
# Counters from an earlier run would add up with this one's (or clash with a rebuilt object's).
find "$build" -name '*.gcda' -delete
cmake --build "$build" -j2
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j2 --output-on-failure --no-tests=error --timeout 300

dados=$build/cobertura.json
gcovr --root . --object-directory "$build" --filter 'src/' --exclude-unreachable-branches \
  --exclude-throw-branches --exclude-directories "$build/CMakeFiles" --json "$dados" "$build"
echo
gcovr --add-tracefile "$dados" --root . --filter 'src/' --sort-percentage
falhou=0
for diretorio in src/protocolo/ src/acbr/; do
  echo "== $diretorio"
  gcovr --add-tracefile "$dados" --root . --filter "$diretorio" --print-summary --output "$build/cobertura.txt" \
    --fail-under-line 95 --fail-under-branch 90 || { echo "cobertura: $diretorio below 95 % lines / 90 % branches" >&2; falhou=1; }
done
exit "$falhou"
