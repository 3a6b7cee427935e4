#!/usr/bin/env bash
# Builds the libFuzzer targets of the `asan` preset and runs each for SECONDS (default 60) with
# its dictionary (fuzz/<target>.dict, else fuzz/json.dict). New inputs go to a temporary
# directory; the committed corpus fuzz/corpus/<target> (for a target without one, the decoder's)
# is only read, as seeds. Fails on the first finding (crash, leak, timeout, out of memory),
# leaving the reproducer in the temporary directory, whose path it prints; prints executions and
# coverage per target.
#   tools/fuzz.sh [SECONDS] [BUILD_DIR]        BUILD_DIR defaults to build/asan
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-60}
build=${2:-build/asan}

cmake --preset asan -B "$build" >/dev/null
alvos=()
for fonte in fuzz/*_fuzz.cpp; do
  nome=$(basename "$fonte" _fuzz.cpp)
  alvos+=("$nome")
done
cmake --build "$build" -j2 --target "${alvos[@]/#/fuzz_}"

temporario=$(mktemp -d /tmp/acbr-ponte-fuzz-XXXXXX)
falhou=0
for nome in "${alvos[@]}"; do
  dicionario=fuzz/$nome.dict
  [ -f "$dicionario" ] || dicionario=fuzz/json.dict
  sementes=fuzz/corpus/$nome
  [ -d "$sementes" ] || sementes=fuzz/corpus/decodificador
  mkdir -p "$temporario/$nome/corpus" "$temporario/$nome/achados"
  registro=$temporario/$nome/registro.txt
  echo "== fuzz_$nome: ${segundos}s, $dicionario"
  status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz/fuzz_$nome" -max_total_time="$segundos" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -dict="$dicionario" -print_final_stats=1 -artifact_prefix="$temporario/$nome/achados/" \
    "$temporario/$nome/corpus" "$sementes" >"$registro" 2>&1 || status=$?
  # The last status line ("#N DONE cov: ... ft: ...") and the run count.
  grep -E '^#[0-9]+' "$registro" | tail -n 1 || true
  grep -E '^stat::number_of_executed_units' "$registro" || true
  echo "   new inputs found: $(find "$temporario/$nome/corpus" -type f | wc -l)"
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$nome FAILED (exit $status); log and reproducer in $temporario/$nome" >&2
    tail -n 40 "$registro" >&2
    falhou=1
  fi
done
if [ "$falhou" -ne 0 ]; then exit 1; fi
rm -rf "$temporario"
echo "fuzzing: no findings"
