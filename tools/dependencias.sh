#!/usr/bin/env bash
# Makes sure the Debian packages that a build needs are installed. As root it installs the
# missing ones with apt-get and says so; as another user it names them and fails.
#   tools/dependencias.sh demo        build the bridge and run the demo
#   tools/dependencias.sh testes      build and run the test suite, sanitizers, fuzzing, checks
#   tools/dependencias.sh bench       the benchmarks and their baselines
#   tools/dependencias.sh windows     cross-build for Windows x64 and test under Wine
#   tools/dependencias.sh x86         build and test for Linux x86 (32-bit)
#   tools/dependencias.sh python      test the Python client: virtual environments, mypy
#   tools/dependencias.sh node        test the Node.js client (Node.js and npm, if there are none)
# Several profiles may be named at once.
set -euo pipefail

pacotes=(cmake ninja-build g++ python3)
[ $# -gt 0 ] || set -- testes
for perfil in "$@"; do
  case "$perfil" in
  demo) ;;
  testes) pacotes+=(clang libclang-rt-14-dev clang-tidy clang-format libgtest-dev nlohmann-json3-dev unicode-data
          valgrind gcovr binutils fp-compiler) ;;
  bench) pacotes+=(libbenchmark-dev rapidjson-dev libsimdjson-dev) ;;
  windows) pacotes+=(g++-mingw-w64-x86-64-posix wine64 googletest nlohmann-json3-dev) ;;
  x86) pacotes+=(gcc-multilib g++-multilib googletest nlohmann-json3-dev) ;;
  python) pacotes+=(python3-venv mypy) ;;
  # A Node.js package from elsewhere may be installed under the same name and bring its own npm;
  # Debian's npm is asked for only when there is no npm at all.
  node) pacotes+=(nodejs)
        command -v npm >/dev/null || pacotes+=(npm) ;;
  *) echo "uso: $0 [demo|testes|bench|windows|x86|python|node]..." >&2; exit 2 ;;
  esac
done

faltando=()
for pacote in "${pacotes[@]}"; do
  dpkg-query -W -f='${Status}' "$pacote" 2>/dev/null | grep -q 'install ok installed' || faltando+=("$pacote")
done
[ ${#faltando[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Faltam pacotes do Debian: ${faltando[*]}" >&2
  echo "Instale-os com: sudo apt-get install ${faltando[*]}" >&2
  exit 1
fi
echo "Instalando pacotes do Debian que faltam: ${faltando[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${faltando[@]}" >/dev/null
