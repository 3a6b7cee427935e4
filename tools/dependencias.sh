#!/usr/bin/env bash
# Makes sure the Debian packages that a build needs are installed. As root it installs the
# missing ones with apt-get and says so; as another user it names them and fails.
#   tools/dependencias.sh demo        build the bridge and run the demo
#   tools/dependencias.sh testes      build and run the test suite, sanitizers, fuzzing, checks
#   tools/dependencias.sh bench       the benchmarks and their baselines
#   tools/dependencias.sh x86         build for Linux x86 (32-bit) and test natively
#   tools/dependencias.sh aarch64     build for Linux ARM64 and test under qemu-user
#   tools/dependencias.sh s390x       build for Linux s390x (big-endian) and test under qemu-user
#   tools/dependencias.sh windows     cross-build for Windows x64 and test under Wine
#   tools/dependencias.sh windows-x86 cross-build for Windows x86 (32-bit) and test under Wine
#   tools/dependencias.sh bullseye    the Linux release binaries for glibc 2.31, against Debian 11
#                                     trees made by debootstrap (tools/testar-bullseye.sh)
#   tools/dependencias.sh python      test the Python client: virtual environments, mypy
#   tools/dependencias.sh node        test the Node.js client (Node.js and npm, if there are none)
#   tools/dependencias.sh php         test the PHP client: PHP's command line, Composer, PHPUnit, PHP_CodeSniffer
#   tools/dependencias.sh java        test the Java client: a JDK, JUnit 5 and its console launcher
# Several profiles may be named at once. Packages named `:i386` need the i386 architecture,
# which is added first. The Linux cross compilers conflict with gcc-multilib, which apt removes.
set -euo pipefail

pacotes=(cmake ninja-build g++ python3)
[ $# -gt 0 ] || set -- testes
for perfil in "$@"; do
  case "$perfil" in
  demo) ;;
  testes) pacotes+=(clang libclang-rt-14-dev clang-tidy clang-format libgtest-dev nlohmann-json3-dev unicode-data
          valgrind gcovr binutils fp-compiler) ;;
  bench) pacotes+=(libbenchmark-dev rapidjson-dev libsimdjson-dev) ;;
  x86) pacotes+=(g++-i686-linux-gnu libc6:i386 libstdc++6:i386 googletest nlohmann-json3-dev) ;;
  aarch64) pacotes+=(g++-aarch64-linux-gnu qemu-user googletest nlohmann-json3-dev) ;;
  s390x) pacotes+=(g++-s390x-linux-gnu qemu-user googletest nlohmann-json3-dev) ;;
  windows) pacotes+=(g++-mingw-w64-x86-64-posix wine64 googletest nlohmann-json3-dev) ;;
  windows-x86) pacotes+=(g++-mingw-w64-i686-posix wine32:i386 googletest nlohmann-json3-dev) ;;
  bullseye) pacotes+=(debootstrap debian-archive-keyring g++-i686-linux-gnu qemu-user binutils) ;;
  python) pacotes+=(python3-venv mypy) ;;
  # A Node.js package from elsewhere may be installed under the same name and bring its own npm;
  # Debian's npm is asked for only when there is no npm at all.
  node) pacotes+=(nodejs)
        command -v npm >/dev/null || pacotes+=(npm) ;;
  php) pacotes+=(php-cli composer phpunit php-codesniffer) ;;
  java) pacotes+=(openjdk-17-jdk-headless junit5) ;;
  *) echo "uso: $0 [demo|testes|bench|x86|aarch64|s390x|windows|windows-x86|bullseye|python|node|php|java]..." >&2; exit 2 ;;
  esac
done

faltando=()
for pacote in "${pacotes[@]}"; do
  case " ${faltando[*]} " in *" $pacote "*) continue ;; esac
  dpkg-query -W -f='${Status}' "$pacote" 2>/dev/null | grep -q 'install ok installed' || faltando+=("$pacote")
done
[ ${#faltando[@]} -eq 0 ] && exit 0

i386=
case " ${faltando[*]}" in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || i386=sim ;; esac
if [ "$(id -u)" -ne 0 ]; then
  echo "Faltam pacotes do Debian: ${faltando[*]}" >&2
  [ -z "$i386" ] || echo "Habilite a arquitetura i386 com: sudo dpkg --add-architecture i386" >&2
  echo "Instale-os com: sudo apt-get update && sudo apt-get install ${faltando[*]}" >&2
  exit 1
fi
echo "Instalando pacotes do Debian que faltam: ${faltando[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ -n "$i386" ]; then
  echo "Habilitando a arquitetura i386"
  dpkg --add-architecture i386
fi
# Another apt may hold the lock for a while; a mirror caught mid-sync fails one index: tried again,
# and if it still fails the install goes on with what was fetched and says what is missing.
apt=(apt-get -o DPkg::Lock::Timeout=600)
for tentativa in 1 2 3; do
  "${apt[@]}" update -qq && break
  echo "apt-get update falhou (tentativa $tentativa)" >&2
  sleep $((tentativa * 5))
done
"${apt[@]}" install -y -qq --no-install-recommends "${faltando[@]}" >/dev/null
