#!/usr/bin/env bash
# Windows x64: cross-builds the bridge, the stand-in DLL and the whole test suite with MinGW-w64,
# runs the tests under Wine, then builds the release executable
# acbr-ponte-x86_64-pc-windows-gnu.exe (and its .zip), checks that it imports system DLLs only
# and that it answers a version query through the stand-in. Installs its Debian packages first
# when run as root (tools/dependencias.sh windows).
#   tools/testar-windows.sh [BUILD_DIR]      BUILD_DIR defaults to build/windows
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/dependencias.sh windows

build=${1:-build/windows}
lancamento=$build-release
triplo=x86_64-pc-windows-gnu
toolchain=cmake/toolchains/mingw-w64-x86_64.cmake
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# A throwaway Wine prefix, headless and quiet, with a fixed locale: system messages and the
# ANSI code page do not depend on the caller's environment.
WINEPREFIX=$(mktemp -d /tmp/acbr-ponte-wine-XXXXXX)
export WINEPREFIX WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8 DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
encerrar() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
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
exe=$lancamento/acbr-ponte-$triplo.exe
cp "$lancamento/acbr-ponte.exe" "$exe"
cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DEXECUTAVEL="$exe" -P cmake/conferir_importacoes.cmake
(cd "$lancamento" && cpack >/dev/null && ls pacotes/*.zip)

# The release executable, from a folder of its own with the stand-in DLL in `acbr` beside it.
pasta=$(mktemp -d /tmp/acbr-ponte-windows-XXXXXX)
mkdir "$pasta/acbr"
cp "$exe" "$pasta/"
cp "$lancamento/acbr/ACBrNFe64.dll" "$pasta/acbr/"
resposta=$(printf '{"cmd":"versao"}\r\n' | env -u ACBR_DIR "$wine" "$pasta/$(basename "$exe")")
rm -rf "$pasta"
case $resposta in
'{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}') echo "release answers: $resposta" ;;
*) echo "testar-windows: unexpected answer from $exe: $resposta" >&2; exit 1 ;;
esac
