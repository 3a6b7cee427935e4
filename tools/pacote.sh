#!/usr/bin/env bash
# Builds the release preset and its archive acbr-ponte-<version>-<triple>.tar.gz (cpack, see
# cmake/Pacote.cmake), then checks the archive: exactly the stripped bridge, named
# acbr-ponte-<triple>, and its
# documentation, no stand-in library, and the unpacked bridge answers a version query through
# the stand-in installed beside it by `cmake --install --component falsa`.
#   tools/pacote.sh [BUILD_DIR]        BUILD_DIR defaults to build/release
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build/release}")
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
rm -rf "$build/pacotes"
(cd "$build" && cpack >/dev/null)
arquivo=$(find "$build/pacotes" -maxdepth 1 -name 'acbr-ponte-*.tar.gz')
nome=$(basename "$arquivo" .tar.gz)
triplo=${nome#acbr-ponte-*-}
echo "archive: $arquivo ($(stat -c %s "$arquivo") bytes)"

esperado=$(printf '%s\n' "$nome/bin/acbr-ponte-$triplo" "$nome/share/doc/acbr-ponte/README.md" \
  "$nome/share/doc/acbr-ponte/biblioteca.md" "$nome/share/doc/acbr-ponte/protocolo.md")
obtido=$(tar -tzf "$arquivo" | grep -v '/$' | sort)
if [ "$obtido" != "$esperado" ]; then
  echo "pacote: unexpected contents:" >&2
  diff <(echo "$esperado") <(echo "$obtido") >&2 || true
  exit 1
fi

temporario=$(mktemp -d /tmp/acbr-ponte-pacote-XXXXXX)
trap 'rm -rf "$temporario"' EXIT
tar -xzf "$arquivo" -C "$temporario"
exe=$temporario/$nome/bin/acbr-ponte-$triplo
if readelf -S "$exe" | grep -q '\.symtab'; then
  echo "pacote: the archived bridge is not stripped" >&2
  exit 1
fi
cmake -DEXECUTAVEL="$exe" -P cmake/conferir_binario.cmake

# The stand-in component installs into bin/acbr, where the bridge looks by itself.
cmake --install "$build" --prefix "$temporario/$nome" --component falsa >/dev/null
resposta=$(printf '{"cmd":"versao"}\n' | env -u ACBR_DIR "$exe")
case $resposta in
'{"ok":true,'*) echo "unpacked bridge answers: $resposta" ;;
*) echo "pacote: unexpected answer: $resposta" >&2; exit 1 ;;
esac
echo "package: contents checked"
