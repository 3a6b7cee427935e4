#!/usr/bin/env bash
# Tests the Node.js client (clientes/node) against a built bridge: its tests with node --test,
# against the C and the Free Pascal stand-ins; its TypeScript declarations with tsc (the one
# devDependency, from the npm registry); and its `npm pack` tarball, installed offline into a
# scratch project that imports it by name and queries the bridge.
# On a fresh Debian 12, run as root, it first installs Node.js and npm if there are none.
#   tools/testar-cliente-node.sh [BUILD_DIR]     BUILD_DIR: an existing build, default build/ci
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/dependencias.sh node
build=$(realpath "${1:-build/ci}")
if [ ! -x "$build/acbr-ponte" ]; then
  echo "Não há ponte em $build/acbr-ponte: construa antes com cmake --workflow --preset ci" >&2
  exit 1
fi
export ACBR_PONTE="$build/acbr-ponte"
cd clientes/node
echo "node $(node --version), npm $(npm --version), ponte $ACBR_PONTE"

echo
echo "--- tests"
node --test testes/*_teste.js

echo
echo "--- TypeScript declarations"
npm ci --no-audit --no-fund --loglevel=error
npx --no-install tsc -p testes/tipos
npx --no-install tsc -p testes/tipos/tsconfig.esnext.json
echo "declarations: accepted"

echo
echo "--- npm pack and an offline install"
temporario=$(mktemp -d)
trap 'rm -rf "$temporario"' EXIT
tarball="$temporario/$(npm pack --pack-destination "$temporario" --silent)"
conteudo=$(tar -tzf "$tarball" | sort)
echo "$conteudo"
for arquivo in package/package.json package/README.md package/src/index.js package/src/index.d.ts; do
  grep -qx "$arquivo" <<<"$conteudo" || { echo "falta $arquivo no pacote" >&2; exit 1; }
done
if grep -v -e '^package/src/' -e '^package/package.json$' -e '^package/README.md$' <<<"$conteudo"; then
  echo "o pacote leva arquivos além de src/, package.json e README.md" >&2
  exit 1
fi

tsc=$PWD/node_modules/.bin/tsc
projeto="$temporario/projeto"
mkdir "$projeto"
cd "$projeto"
echo '{ "name": "projeto", "private": true, "type": "module" }' >package.json
npm install --offline --no-audit --no-fund --loglevel=error "$tarball"
cat >consulta.js <<'EOF'
import { Ponte } from 'acbr-ponte';

const ponte = new Ponte();
console.log(JSON.stringify(await ponte.versao()));
await ponte.fechar();
EOF
cat >tipos.ts <<'EOF'
import { ErroDaPonte, Ponte, type Versao } from 'acbr-ponte';

const versao: Promise<Versao> = new Ponte({ tempoLimite: 1000 }).versao();
const erro: string = new ErroDaPonte('x').erro;
void [versao, erro];
EOF
cat >tsconfig.json <<'EOF'
{ "compilerOptions": { "module": "NodeNext", "strict": true, "noEmit": true, "types": [] }, "files": ["tipos.ts"] }
EOF
"$tsc" -p .
resposta=$(ACBR_DIR="$build/acbr" node consulta.js)
echo "installed package answered: $resposta"
[ "$resposta" = '{"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}' ]
echo "npm pack: the tarball installs, imports and answers"
