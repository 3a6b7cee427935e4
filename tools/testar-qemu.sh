#!/usr/bin/env bash
# Linux on ARM64 (aarch64) or on IBM Z (s390x, big-endian), platforms for which the ACBr Project
# publishes no library: cross-builds the bridge and the whole test suite with Debian's cross
# compiler (GoogleTest compiled from Debian's sources), runs the tests under qemu-user, then
# builds the release binary acbr-ponte-<arch>-unknown-linux-gnu (and its archive) and checks
# that it answers a version query with the platform message, byte for byte, even with the
# stand-in beside it. Installs its Debian packages first when run as root
# (tools/dependencias.sh aarch64 / s390x).
#   tools/testar-qemu.sh aarch64|s390x [BUILD_DIR]      BUILD_DIR defaults to build/<arch>
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/cruzada.sh

arquitetura=${1:-}
# The ELF machine number each must carry (EM_AARCH64, EM_S390) and its byte order.
case $arquitetura in
aarch64) maquina_esperada=183 ordem=1 ;;
s390x) maquina_esperada=22 ordem=2 ;;
*) echo "uso: $0 aarch64|s390x [BUILD_DIR]" >&2; exit 2 ;;
esac
bash tools/dependencias.sh "$arquitetura"

build=${2:-build/$arquitetura}
lancamento=$build-release
triplo=$arquitetura-unknown-linux-gnu
toolchain=cmake/toolchains/linux-$arquitetura.cmake
qemu=(qemu-"$arquitetura" -L /usr/"$arquitetura"-linux-gnu)

cruzada_testar "$toolchain" "$build"
# ELF class 2 (64-bit), the byte order and machine of the case above.
cruzada_lancamento "$toolchain" "$lancamento" "$triplo" 2 "$ordem" "$maquina_esperada"

# The stand-in sits in `acbr` beside the binary, where the bridge would look on a published
# platform; here the answer is the platform message all the same.
mensagem='{"ok":false,"erro":"A ACBrLib não existe para este sistema (o Projeto ACBr publica Windows e Linux). Emissão e impressão térmica só se testam em Windows ou Linux x64."}'
resposta=$(printf '{"cmd":"versao"}\n' | env -u ACBR_DIR "${qemu[@]}" "$exe")
if [ "$resposta" != "$mensagem" ]; then
  echo "testar-qemu: unexpected answer from $exe: $resposta" >&2
  exit 1
fi
echo "release answers: $resposta"
