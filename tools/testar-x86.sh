#!/usr/bin/env bash
# Linux x86 (32-bit): builds the bridge, the stand-in library (libacbrnfe32.so) and the whole
# test suite with Debian's i686 cross compiler (GoogleTest compiled from Debian's sources), runs
# the tests natively (with Debian's i386 C and C++ runtimes), then builds the release binary
# acbr-ponte-i686-unknown-linux-gnu (and its archive) and has it answer a version query through
# the stand-in. Installs its Debian packages first when run as root (tools/dependencias.sh x86).
#   tools/testar-x86.sh [BUILD_DIR]      BUILD_DIR defaults to build/x86
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/cruzada.sh
bash tools/dependencias.sh x86

build=${1:-build/x86}
lancamento=$build-release
triplo=i686-unknown-linux-gnu
toolchain=cmake/toolchains/linux-i686.cmake

cruzada_testar "$toolchain" "$build"
# ELF class 1 (32-bit), little-endian, machine 3 (Intel 80386).
cruzada_lancamento "$toolchain" "$lancamento" "$triplo" 1 1 3

# The stand-in sits in `acbr` beside the binary, where the bridge looks without ACBR_DIR.
resposta=$(printf '{"cmd":"versao"}\n' | env -u ACBR_DIR "$exe")
case $resposta in
'{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}') echo "release answers: $resposta" ;;
*) echo "testar-x86: unexpected answer from $exe: $resposta" >&2; exit 1 ;;
esac
