#!/usr/bin/env bash
# Windows x64 or x86 (32-bit): cross-builds the bridge, the stand-in DLL and the whole test suite
# with MinGW-w64, runs the tests under Wine, then builds the release executable
# acbr-ponte-<triple>.exe (and its .zip), checks that it imports system DLLs only and that it
# answers a version query through the stand-in. On x86 it asks through both builds of the
# stand-in, Cdecl and StdCall, as the library is published in both. Installs its Debian packages
# first when run as root (tools/dependencias.sh windows / windows-x86).
#   tools/testar-windows.sh [x64|x86] [BUILD_DIR]
#     x64 (the default): BUILD_DIR defaults to build/windows
#     x86:               BUILD_DIR defaults to build/windows-x86
set -euo pipefail
cd "$(dirname "$0")/.."

arquitetura=${1:-x64}
case $arquitetura in
x64)
  perfil=windows build=${2:-build/windows} triplo=x86_64-pc-windows-gnu mingw=x86_64-w64-mingw32
  toolchain=cmake/toolchains/mingw-w64-x86_64.cmake lib=ACBrNFe64.dll wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
  ;;
x86)
  perfil=windows-x86 build=${2:-build/windows-x86} triplo=i686-pc-windows-gnu mingw=i686-w64-mingw32
  toolchain=cmake/toolchains/mingw-w64-i686.cmake lib=ACBrNFe32.dll wine=/usr/lib/wine/wine
  ;;
*) echo "uso: $0 [x64|x86] [BUILD_DIR]" >&2; exit 2 ;;
esac
bash tools/dependencias.sh "$perfil"

lancamento=$build-release
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# A throwaway Wine prefix, headless and quiet, with a fixed locale: system messages and the
# ANSI code page do not depend on the caller's environment.
WINEPREFIX=$(mktemp -d /tmp/acbr-ponte-wine-XXXXXX)
export WINEPREFIX WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8 DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
pasta=
encerrar() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" ${pasta:+"$pasta"}
}
trap encerrar EXIT
# One wineserver for the whole run, started before anything else uses the prefix: without it
# every test process waits seconds for Wine to shut down. Test discovery at build time runs the
# test programs too.
"$wineserver" -p
"$wine" wineboot -i >/dev/null 2>&1

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Debug -DPONTE_WERROR=ON
cmake --build "$build" -j2
ctest --test-dir "$build" -j2 --output-on-failure --no-tests=error --timeout 300

cmake -S . -B "$lancamento" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DPONTE_TESTES=OFF
cmake --build "$lancamento" -j2
[ "$arquitetura" = x64 ] || cmake --build "$lancamento" -j2 --target acbr_falsa_stdcall
exe=$lancamento/acbr-ponte-$triplo.exe
cp "$lancamento/acbr-ponte.exe" "$exe"
# The PE machine field: 0x8664 for x64, 0x14c for x86.
maquina=$(LC_ALL=C "$mingw-objdump" -f "$exe" | sed -n 's/^architecture: \([^,]*\),.*/\1/p')
case $arquitetura:$maquina in
x64:i386:x86-64 | x86:i386) ;;
*) echo "testar-windows: $exe is not a $arquitetura executable ($maquina)" >&2; exit 1 ;;
esac
cmake -DOBJDUMP="$mingw-objdump" -DEXECUTAVEL="$exe" -P cmake/conferir_importacoes.cmake
(cd "$lancamento" && cpack >/dev/null && ls pacotes/*.zip)

# The release executable, from a folder of its own with the stand-in DLL in `acbr` beside it.
pasta=$(mktemp -d /tmp/acbr-ponte-windows-XXXXXX)
mkdir "$pasta/acbr"
cp "$exe" "$pasta/"
perguntar() {
  local dll=$1
  cp "$dll" "$pasta/acbr/$lib"
  local resposta
  resposta=$(printf '{"cmd":"versao"}\r\n{"cmd":"versao"}\r\n' | env -u ACBR_DIR "$wine" "$pasta/$(basename "$exe")")
  local esperada='{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
  if [ "$resposta" != "$esperada"$'\n'"$esperada" ]; then
    echo "testar-windows: unexpected answer from $exe through $dll: $resposta" >&2
    exit 1
  fi
  echo "release answers through $dll: ${resposta%%$'\n'*}"
}
perguntar "$lancamento/acbr/$lib"
[ "$arquitetura" = x64 ] || perguntar "$lancamento/falsa/stdcall/$lib"
