#!/usr/bin/env bash
# Builds and runs the whole test suite, every stage of it, and stops at the first that fails:
# the g++ build with warnings as errors and all tests, static analysis, the clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer with all tests, a short run of each fuzz
# target, a Valgrind session, coverage thresholds, the self-contained release binary and its
# archive, the Linux release binaries for older glibc run in a Debian 11 tree, the benchmarks and
# the whole-process comparison (built and run once, no timing asserted), the suites of the other
# platforms: Linux x86, Linux ARM64 and s390x (under qemu-user), Windows x64 and x86 (under Wine),
# each with its release binary; then the shipped bridges gathered from the release archives, and
# the host clients (Python, Node.js, .NET, PHP, Java), each tested against the built bridge and
# packaged with those bridges, and their cost on top of the pipe measured once. Every build is a
# CMake preset (CMakePresets.json); the release binaries are all checked by
# tools/conferir_lancamento.py.
# On a fresh Debian 12, run as root, it first installs the Debian packages it needs.
#   tools/testar.sh            everything (what CI runs)
#   tools/testar.sh rapido     only the first stage: the g++ build and its tests
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = rapido ]; then
  bash tools/dependencias.sh testes
  exec cmake --workflow --preset ci
fi
bash tools/dependencias.sh testes bench python node php java x86 aarch64 s390x windows windows-x86 bullseye

etapas=0
etapa() {
  local nome=$1
  shift
  echo
  echo "=== $nome"
  local inicio=$SECONDS
  "$@"
  echo "=== $nome: passed in $((SECONDS - inicio)) s"
  etapas=$((etapas + 1))
}

# A platform's suite, then its release binary and archive, checked.
plataforma() {
  cmake --workflow --preset "$1"
  lancamento "$1-release"
}
# 32-bit Wine needs a kernel that runs i386 programs; where this one does not, the Windows x86
# tests cannot run at all: its release binary is still built, packed and checked, not run.
windows_x86() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    plataforma windows-x86
  else
    echo "Windows x86 tests skipped: this kernel runs no 32-bit programs, so 32-bit Wine cannot start"
    cmake --workflow --preset windows-x86-release
    python3 tools/conferir_lancamento.py --sem-executar build/windows-x86-release
  fi
}
lancamento() {
  cmake --workflow --preset "$1"
  python3 tools/conferir_lancamento.py "build/$1"
}

etapa "g++, warnings as errors, all tests" cmake --workflow --preset ci
etapa "static analysis" bash tools/analisar.sh build/ci
etapa "clang with ASan and UBSan, all tests" cmake --workflow --preset asan
etapa "fuzzing, 60 s per target" bash tools/fuzz.sh 60
etapa "valgrind session" bash tools/valgrind.sh build/ci
etapa "coverage" bash tools/cobertura.sh
etapa "release binary and its archive" lancamento release
# The Linux release binaries (x86-64 and x86) built against glibc 2.31, checked for the symbol
# versions they need, and run in a Debian 11 tree (made once by debootstrap and kept).
etapa "Linux release binaries for older glibc, run in Debian 11" bash tools/testar-bullseye.sh
# The whole-process comparison too, one pair per workload: it checks the bridge's answer to each
# workload before timing it, which keeps the script in step with the bridge.
etapa "benchmarks build and run once" bash -c \
  'cmake --workflow --preset bench && build/bench/bench/ponte_bench --benchmark_min_time=0 >/dev/null &&
   python3 bench/comparar.py --pares 1 >/dev/null'
etapa "Linux x86 (32-bit)" plataforma x86
etapa "Linux ARM64 under qemu" plataforma aarch64
etapa "Linux s390x (big-endian) under qemu" plataforma s390x
etapa "Windows x64 under Wine" plataforma windows
etapa "Windows x86 (32-bit) under Wine" windows_x86
# The clients' packages carry the shipped bridge of every published platform, from the archives.
etapa "the shipped bridges, gathered for the clients' packages" python3 tools/reunir_binarios.py build/binarios
export ACBR_PONTE_BINARIOS=$PWD/build/binarios
etapa "Python client" bash tools/testar-cliente-python.sh build/ci
etapa "Node.js client" bash tools/testar-cliente-node.sh build/ci
etapa ".NET client" bash tools/testar-cliente-dotnet.sh build/ci
etapa "PHP client" bash tools/testar-cliente-php.sh build/ci
etapa "Java client" bash tools/testar-cliente-java.sh build/ci
# Each present client's own benchmark, run once with few calls so that it keeps working; a client
# whose toolchain is missing is listed as skipped. No time is asserted.
etapa "the clients' cost on top of the pipe, run once" \
  python3 bench/clientes.py --ponte build/ci/acbr-ponte --chamadas 200 --rodadas 1 --pares 1

echo
echo "stages: $etapas passed, 0 failed"
