#!/usr/bin/env bash
# Runs the built bridge under Valgrind's memcheck over a session of 200 version queries mixed
# with invalid, blank and CR LF lines, against the stand-in library (ACBR_DIR if set, else the
# `acbr` directory beside the executable). Fails on any memory error, on any leak of any kind,
# on output on standard error, unless every non-blank line got exactly one answer and every
# query was answered by the library.
#   tools/valgrind.sh [BUILD_DIR]        BUILD_DIR defaults to build/ci
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
[ -f "$build/CMakeCache.txt" ] || cmake --preset ci -B "$build" >/dev/null
cmake --build "$build" -j2 --target acbr-ponte acbr_falsa >/dev/null

temporario=$(mktemp -d /tmp/acbr-ponte-valgrind-XXXXXX)
trap 'rm -rf "$temporario"' EXIT

consultas=200
{
  for i in $(seq 1 "$consultas"); do
    printf '{"cmd":"versao"}\n'
    case $((i % 4)) in
    0) printf '{"cmd":"outro"}\n' ;;
    1) printf '\n \t\r\n' ;;
    2) printf '\xc2\xa0{"cmd":"versao"\n' ;;
    3) printf '[1,2,{"a":"\\u00e7"}]\r\n' ;;
    esac
  done
  printf '{"cmd":"versao"}'  # the last line, without a line feed
} >"$temporario/entrada"
# The lines that are not White_Space alone, the set read from the bridge's own generated table.
esperadas=$(python3 - "$temporario/entrada" src/texto/espaco_branco.inc <<'PY'
import re, sys
dados = open(sys.argv[1], 'rb').read().decode()
faixas = re.findall(r'\{0x([0-9A-F]+), 0x([0-9A-F]+)\}', open(sys.argv[2]).read())
brancos = ''.join(chr(p) for a, b in faixas for p in range(int(a, 16), int(b, 16) + 1))
print(sum(1 for linha in dados.split('\n') if linha.strip(brancos)))
PY
)

status=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
  --error-exitcode=99 --track-fds=no --suppressions=tools/valgrind.supp --log-file="$temporario/valgrind" \
  "$build/acbr-ponte" <"$temporario/entrada" >"$temporario/saida" 2>"$temporario/erro" || status=$?

falhou=0
if [ "$status" -ne 0 ]; then
  echo "valgrind: exit $status" >&2
  cat "$temporario/valgrind" >&2
  falhou=1
fi
grep -E 'ERROR SUMMARY|in use at exit|total heap usage' "$temporario/valgrind" | sed 's/^==[0-9]*== /valgrind: /'
linhas=$(wc -l <"$temporario/saida")
sucessos=$(grep -c '^{"ok":true,"nome":' "$temporario/saida" || true)
echo "answers: $linhas for $esperadas non-blank lines; library answers: $sucessos for $((consultas + 1)) queries"
if [ "$linhas" -ne "$esperadas" ] || [ "$sucessos" -ne $((consultas + 1)) ]; then
  echo "valgrind: wrong answers; first lines:" >&2
  head -n 5 "$temporario/saida" >&2
  falhou=1
fi
if [ -s "$temporario/erro" ]; then
  echo "valgrind: the bridge wrote to standard error:" >&2
  head -n 5 "$temporario/erro" >&2
  falhou=1
fi
[ "$falhou" -eq 0 ] && echo "valgrind: no errors, no leaks"
exit "$falhou"
