#!/usr/bin/env bash
# The Java client (clientes/java): compiled for Java 11 (javac --release 11, warnings are errors),
# its JUnit 5 suite run with the console launcher against the built bridge and its stand-ins (the
# shared table of client cases, and what is Java's own); then the jar, with the bridges of
# ACBR_PONTE_BINARIOS inside, and a one-file program with only that jar on its class path that
# names no bridge, so the jar's own runs from its copy in a fresh per-user folder.
# Maven's central registry is not reachable here, so the build is javac and jar; clientes/java/pom.xml
# describes the same build for publishing.
# Installs its Debian packages first when run as root (tools/dependencias.sh java).
#   tools/testar-cliente-java.sh [BUILD_DIR]      BUILD_DIR defaults to build/ci
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/dependencias.sh java || true
if ! command -v javac >/dev/null || ! command -v jar >/dev/null; then
  echo "testar-cliente-java: skipped: no JDK (javac, jar) on this machine"
  exit 0
fi
junit=/usr/share/java/junit-platform-console-standalone.jar
if [ ! -f "$junit" ]; then
  echo "testar-cliente-java: skipped: no JUnit 5 console launcher ($junit, Debian's junit5)"
  exit 0
fi

build=${1:-build/ci}
ponte=$(realpath -m "$build/acbr-ponte")
if [ ! -x "$ponte" ]; then
  echo "testar-cliente-java: $ponte not found; build it first (cmake --workflow --preset ci)" >&2
  exit 1
fi
cliente=$PWD/clientes/java
versao=$(sed -n 's/.*VERSAO_DO_CLIENTE = "\(.*\)";/\1/p' "$cliente/src/main/java/br/com/acbrponte/Ponte.java")
temporario=$(mktemp -d /tmp/acbr-ponte-java-XXXXXX)
trap 'chmod -R u+rwx "$temporario" 2>/dev/null; rm -rf "$temporario"' EXIT
echo "$(javac -version 2>&1), client $versao, bridge $ponte"

echo "--- compile (--release 11)"
mkdir -p "$temporario/classes" "$temporario/testes"
javac --release 11 -Xlint:all -Werror -encoding UTF-8 -d "$temporario/classes" $(find "$cliente/src/main/java" -name '*.java')
javac --release 11 -Xlint:all -Werror -encoding UTF-8 -d "$temporario/testes" \
  -cp "$temporario/classes:/usr/share/java/junit-jupiter-api.jar:/usr/share/java/apiguardian-api.jar:/usr/share/java/opentest4j.jar" \
  $(find "$cliente/src/test/java" -name '*.java')

echo "--- tests"
(cd "$cliente" && ACBR_PONTE=$ponte ACBR_PONTE_CASOS=$PWD/../casos java -jar "$junit" --disable-banner \
  --fail-if-no-tests --details=tree -cp "$temporario/classes:$temporario/testes" --scan-classpath "$temporario/testes") \
  | tee "$temporario/testes.log"
# Rows skipped, with their reasons (a Free Pascal stand-in not built, not root, not x64).
grep -E 'aborted|skipped' "$temporario/testes.log" | grep -vE '^\[ ' || true

if [ -z "${ACBR_PONTE_BINARIOS:-}" ]; then
  echo "--- jar with the bridges skipped: ACBR_PONTE_BINARIOS is not set (tools/reunir_binarios.py makes the folder)"
  exit 0
fi
binarios=$(realpath "$ACBR_PONTE_BINARIOS")
echo "--- jar, with the bridges of $binarios"
recursos=$temporario/recursos/br/com/acbrponte/bin
for chave in linux-x64 linux-x86 win-x64 win-x86; do
  nome=acbr-ponte
  case "$chave" in win-*) nome=acbr-ponte.exe ;; esac
  if [ ! -f "$binarios/$chave/$nome" ]; then
    echo "testar-cliente-java: $binarios/$chave/$nome is missing" >&2
    exit 1
  fi
  mkdir -p "$recursos/$chave"
  cp "$binarios/$chave/$nome" "$recursos/$chave/$nome"
  (cd "$recursos/$chave" && sha256sum "$nome" > acbr-ponte.sha256)
done
# Fixed times, so that the same inputs give the same jar.
find "$temporario/classes" "$temporario/recursos" -exec touch -h -d 2000-01-01T00:00:00Z {} +
jarra=$temporario/acbr-ponte-$versao.jar
jar --create --file "$jarra" --date=2000-01-01T00:00:02Z -C "$temporario/classes" . -C "$temporario/recursos" . 2>/dev/null \
  || jar --create --file "$jarra" -C "$temporario/classes" . -C "$temporario/recursos" .
jar --describe-module --file "$jarra" | head -1
echo "$(basename "$jarra"): $(stat -c %s "$jarra") bytes"
jar --list --file "$jarra" | grep -E '/bin/|module-info'

echo "--- a one-file program with only the jar on its class path, no bridge named"
esperado="Versao[nome=ACBrLibNFe (falsa), numero=0.0.0-falsa]"
falsa=$(realpath "$build/acbr")
chmod a+rx "$temporario" "$jarra"
cp "$cliente/exemplos/Programa.java" "$temporario/Programa.java"
chmod a+r "$temporario/Programa.java"
for usuario in root nobody; do
  casa=$(mktemp -d /tmp/acbr-ponte-casa-XXXXXX)
  executar=(env -i PATH=/usr/bin:/bin HOME="$casa" ACBR_DIR="$falsa")
  if [ "$usuario" = nobody ]; then
    if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
      echo "(as an unprivileged user: skipped, needs root and setpriv)"
      rm -rf "$casa"
      continue
    fi
    chown 65534:65534 "$casa"
    chmod a+rx "$(dirname "$falsa")" "$falsa"
    executar=(setpriv --reuid=65534 --regid=65534 --clear-groups "${executar[@]}")
  elif [ "$(id -u)" != 0 ]; then
    usuario=$(id -un)
  fi
  obtido=$(cd / && "${executar[@]}" java -cp "$jarra" "$temporario/Programa.java")
  copia=$(find "$casa" -name "acbr-ponte-$versao-linux-x64-*" -type f)
  if [ "$obtido" != "$esperado" ] || [ -z "$copia" ] || [ ! -f "$(dirname "$copia")/acbrlib.ini" ]; then
    echo "testar-cliente-java: as $usuario, the packaged bridge answered: $obtido (copy: ${copia:-none})" >&2
    exit 1
  fi
  echo "as $usuario, with no bridge named: $obtido; copy $copia, configuration beside it"
  rm -rf "$casa"
done
