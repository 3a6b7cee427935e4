#!/usr/bin/env bash
# Builds the release preset and checks the shipped executable: it needs only glibc
# (cmake/conferir_binario.cmake reads its DT_NEEDED entries), it answers a version query
# through the stand-in library, and its stripped size is printed.
#   tools/binario.sh [BUILD_DIR]        BUILD_DIR defaults to build/release
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
exe=$build/acbr-ponte

cmake -DEXECUTAVEL="$exe" -P cmake/conferir_binario.cmake

resposta=$(printf '{"cmd":"versao"}\n' | env -u ACBR_DIR "$exe")
case $resposta in
'{"ok":true,'*) echo "answers: $resposta" ;;
*) echo "binario: unexpected answer: $resposta" >&2; exit 1 ;;
esac

despido=$(mktemp /tmp/acbr-ponte-binario-XXXXXX)
trap 'rm -f "$despido"' EXIT
strip -o "$despido" "$exe"
echo "size: $(stat -c %s "$exe") bytes as built, $(stat -c %s "$despido") bytes stripped"
