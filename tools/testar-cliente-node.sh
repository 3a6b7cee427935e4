#!/usr/bin/env bash
# Tests the Node.js client (clientes/node) against a built bridge: its suite with node --test (the
# shared table of cases against the C and Free Pascal stand-ins, and what is Node.js's own, the
# TypeScript declarations checked with tsc included); then the npm packages, made from the release
# binaries in $ACBR_PONTE_BINARIOS (the main package and its four platform packages), installed
# offline into a scratch project whose three-line program queries the C stand-in through the
# packaged bridge, with no path given: as root, and as an unprivileged user who cannot write the
# installed project.
# On a fresh Debian 12, run as root, it first installs Node.js and npm if there are none.
#   tools/testar-cliente-node.sh [BUILD_DIR]     BUILD_DIR: an existing build, default build/ci
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/dependencias.sh node
build=$(realpath -m "${1:-build/ci}")
if [ ! -x "$build/acbr-ponte" ]; then
  echo "testar-cliente-node: $build/acbr-ponte not found; build it first (cmake --workflow --preset ci)" >&2
  exit 1
fi
export ACBR_PONTE="$build/acbr-ponte"
cliente=$PWD/clientes/node
echo "node $(node --version), npm $(npm --version), ponte $ACBR_PONTE"

echo
echo "--- TypeScript, the one devDependency (from the npm registry)"
# Without the registry the declarations' compiler checks are skipped, and say so; the rest runs.
if ! npm --prefix "$cliente/tipos" ci --no-audit --no-fund --loglevel=error; then
  echo "TypeScript checks skipped: the npm registry cannot be reached"
  rm -rf "$cliente/tipos/node_modules"
fi

echo
echo "--- tests"
(cd "$cliente" && node --test)

echo
echo "--- npm packages"
if [ -z "${ACBR_PONTE_BINARIOS:-}" ]; then
  echo "skipped: ACBR_PONTE_BINARIOS is not set (a folder of <key>/acbr-ponte[.exe] release binaries)"
  exit 0
fi
temporario=$(mktemp -d /tmp/acbr-ponte-node-XXXXXX)
trap 'rm -rf "$temporario"' EXIT
pacotes=$temporario/pacotes
node "$cliente/scripts/pacotes.js" "$ACBR_PONTE_BINARIOS" "$pacotes"
versao=$(node -p "require('$cliente/package.json').version")
# The same bytes again from the same binaries, though every platform package's files are new.
sleep 1
node "$cliente/scripts/pacotes.js" "$ACBR_PONTE_BINARIOS" "$temporario/de-novo" >/dev/null
for tarball in "$pacotes"/*.tgz; do cmp "$tarball" "$temporario/de-novo/$(basename "$tarball")"; done
echo "made again: the same bytes"

# What each tarball holds, and nothing else; each bridge matches the sha256 beside it.
conferir() {
  local tarball=$1; shift
  local esperado conteudo
  esperado=$(printf '%s\n' "$@" | sort)
  conteudo=$(tar -tzf "$tarball" | sort)
  if [ "$conteudo" != "$esperado" ]; then
    echo "testar-cliente-node: $tarball holds:" >&2
    echo "$conteudo" >&2
    exit 1
  fi
}
conferir "$pacotes/acbr-ponte-$versao.tgz" package/package.json package/README.md \
  $(cd "$cliente" && find src -type f | sed 's#^#package/#')
declare -A chaves=([linux-x64]="linux-x64 linux-x86" [linux-ia32]="linux-x86" [win32-x64]="win-x64 win-x86"
  [win32-ia32]="win-x86")
feitos=()
for plataforma in linux-x64 linux-ia32 win32-x64 win32-ia32; do
  tarball=$pacotes/acbr-ponte-$plataforma-$versao.tgz
  [ -e "$tarball" ] || continue
  feitos+=("$tarball")
  arquivos=(package/package.json package/README.md)
  for chave in ${chaves[$plataforma]}; do
    nome=acbr-ponte; [[ $chave == win-* ]] && nome=acbr-ponte.exe
    arquivos+=("package/bin/$chave/$nome" "package/bin/$chave/acbr-ponte.sha256")
  done
  conferir "$tarball" "${arquivos[@]}"
  mkdir -p "$temporario/conferir/$plataforma"
  tar -xzf "$tarball" -C "$temporario/conferir/$plataforma"
  for chave in ${chaves[$plataforma]}; do
    (cd "$temporario/conferir/$plataforma/package/bin/$chave" && sha256sum --quiet -c acbr-ponte.sha256)
    # The very bytes of the release binary (the Windows ones are those its stages run under Wine).
    nome=acbr-ponte; [[ $chave == win-* ]] && nome=acbr-ponte.exe
    cmp "$temporario/conferir/$plataforma/package/bin/$chave/$nome" "$ACBR_PONTE_BINARIOS/$chave/$nome"
  done
done
echo "contents and checksums: right"

if [ "$(uname -s)-$(uname -m)" != Linux-x86_64 ] || [ ! -e "$pacotes/acbr-ponte-linux-x64-$versao.tgz" ]; then
  echo "skipped: installing the packaged bridge needs a Linux x86-64 host and @acbr-ponte/linux-x64"
  exit 0
fi

echo
echo "--- an offline install into a scratch project"
# The main tarball, then every platform tarball as an optional dependency of the project: npm
# installs the one that fits and writes all four in the lock, so that a later `npm ci` works too
# (npm 11 refuses a lock that misses the main package's optional dependencies). A fresh cache:
# nothing comes from an earlier install, and nothing from the network.
projeto=$temporario/projeto
mkdir "$projeto"
echo '{ "name": "projeto", "private": true, "type": "module" }' >"$projeto/package.json"
npm=(npm --prefix "$projeto" --offline --cache "$temporario/cache" --no-audit --no-fund --loglevel=warn)
"${npm[@]}" install "$pacotes/acbr-ponte-$versao.tgz"
"${npm[@]}" install --save-optional "${feitos[@]}"
rm -rf "$projeto/node_modules"
"${npm[@]}" ci
ls "$projeto/node_modules/@acbr-ponte"
[ "$(ls "$projeto/node_modules/@acbr-ponte")" = linux-x64 ]

cat >"$projeto/consulta.js" <<'PROGRAMA'
import { Ponte } from 'acbr-ponte';
const ponte = new Ponte();
console.log(JSON.stringify(await ponte.versao()));
PROGRAMA
cat >"$projeto/tipos.ts" <<'PROGRAMA'
import { ErroDaPonte, Ponte, type Versao } from 'acbr-ponte';

const versao: Promise<Versao> = new Ponte({ tempoLimite: 1000, arquitetura: 'x86' }).versao();
const erro: string = new ErroDaPonte('x').erro;
void [versao, erro];
PROGRAMA
cat >"$projeto/tsconfig.json" <<'PROGRAMA'
{ "compilerOptions": { "module": "NodeNext", "strict": true, "noEmit": true, "types": [] }, "files": ["tipos.ts"] }
PROGRAMA
if [ -x "$cliente/tipos/node_modules/.bin/tsc" ]; then
  "$cliente/tipos/node_modules/.bin/tsc" -p "$projeto"
  echo "declarations of the installed package: accepted"
fi

esperada='{"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
# No bridge path anywhere: not given, no ACBR_PONTE, none on PATH; the stand-in by ACBR_DIR.
consultar() {
  (cd "$projeto" && "$@" env -u ACBR_PONTE PATH="$(dirname "$(command -v node)"):/usr/bin:/bin" \
    ACBR_DIR="$temporario/acbr" node consulta.js)
}
cp -r "$build/acbr" "$temporario/acbr"
dados=$temporario/dados
resposta=$(consultar env XDG_DATA_HOME="$dados")
echo "as $(id -un): $resposta"
[ "$resposta" = "$esperada" ]
ls -l "$dados/acbr-ponte"
ls "$dados/acbr-ponte" | grep -qx "acbr-ponte-$versao-linux-x64-[0-9a-f]\{16\}"

echo
echo "--- as an unprivileged user, the project installed by root"
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
  echo "skipped: needs root and setpriv to run as another user"
  exit 0
fi
casa=$temporario/casa
mkdir "$casa"
chown 65534:65534 "$casa"
chmod 755 "$temporario"
chmod -R a+rX "$temporario/acbr"
if ! setpriv --reuid=65534 --regid=65534 --clear-groups node --version >/dev/null 2>&1; then
  echo "skipped: user 65534 cannot run $(command -v node)"
  exit 0
fi
# HOME only: the copy goes to the documented default, ~/.local/share/acbr-ponte.
resposta=$(consultar setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_DATA_HOME HOME="$casa")
echo "as uid 65534: $resposta"
[ "$resposta" = "$esperada" ]
stat -c '%U %a %n' "$casa/.local/share/acbr-ponte" "$casa/.local/share/acbr-ponte"/*
[ "$(stat -c '%u %a' "$casa/.local/share/acbr-ponte")" = "65534 700" ]
if find "$projeto/node_modules" -newer "$projeto/consulta.js" | grep -q .; then
  echo "testar-cliente-node: something was written inside the installed project" >&2
  exit 1
fi
echo "npm packages: installed offline, and the packaged bridge answers with no path given"
