#!/usr/bin/env bash
# The PHP client (clientes/php): its syntax, style (PSR-12, PHP_CodeSniffer) and composer.json;
# its tests with PHPUnit against the built bridge and its stand-in libraries, once with Debian's
# PHP as it is and once without the posix extension, pcntl's functions and OpenSSL's digest; the
# Composer package, packed with the release bridges of ACBR_PONTE_BINARIOS into build/php/ (a
# folder and a zip), installed offline into a scratch project through a Composer path repository,
# where a one-file script asks for the version with no bridge path (the packaged bridge, its copy
# in the per-user folder), as root and, where the machine allows, as an unprivileged user.
# Installs its Debian packages first when run as root (tools/dependencias.sh php); where PHP cannot
# be had, says "skipped" and succeeds.
#   tools/testar-cliente-php.sh [BUILD_DIR]     BUILD_DIR defaults to build/ci
#   ACBR_PONTE_BINARIOS=build/binarios tools/testar-cliente-php.sh      also packs the distributable
set -euo pipefail
cd "$(dirname "$0")/.."

if ! bash tools/dependencias.sh php; then
  echo "testar-cliente-php: skipped: PHP, Composer, PHPUnit or PHP_CodeSniffer missing, and they cannot be installed here"
  exit 0
fi
if ! php -r 'exit(PHP_VERSION_ID >= 80100 ? 0 : 1);'; then
  echo "testar-cliente-php: skipped: PHP $(php -r 'echo PHP_VERSION;') is older than 8.1"
  exit 0
fi

build=$(realpath -m "${1:-build/ci}")
ponte=$build/acbr-ponte
if [ ! -x "$ponte" ]; then
  echo "testar-cliente-php: $ponte not found; build it first (cmake --workflow --preset ci)" >&2
  exit 1
fi
raiz=$PWD
temporario=$(mktemp -d /tmp/acbr-ponte-php-XXXXXX)
trap 'rm -rf "$temporario"' EXIT
# Composer never reaches the network, nor the user's own configuration.
export COMPOSER_HOME=$temporario/composer COMPOSER_CACHE_DIR=$temporario/composer/cache COMPOSER_DISABLE_NETWORK=1 \
  COMPOSER_NO_INTERACTION=1 COMPOSER_ALLOW_SUPERUSER=1
cd clientes/php
echo "PHP $(php -r 'echo PHP_VERSION;'), $(phpunit --version | grep -o 'PHPUnit [0-9.]*'), $(composer --version 2>/dev/null | grep -o 'Composer version [0-9.]*'), bridge $ponte"

echo
echo "--- syntax, style (PSR-12), composer.json"
find src tests bench -name '*.php' -print0 | xargs -0 -n1 php -n -l >/dev/null
phpcs --standard=PSR12 -q src tests bench
composer validate --strict --no-check-publish --no-check-lock --quiet
echo "style and composer.json: accepted"

echo
echo "--- tests"
ACBR_PONTE=$ponte phpunit

echo
echo "--- tests without posix, pcntl's functions and openssl_digest"
sem=(-n)
for extensao in dom mbstring xml xmlwriter tokenizer; do
  [ -n "$(php -n -r "echo extension_loaded('$extensao') ? 1 : '';")" ] || sem+=(-d "extension=$extensao")
done
funcoes=$(php -r 'echo implode(",", [...(get_extension_funcs("pcntl") ?: []), "openssl_digest"]);')
sem+=(-d "disable_functions=$funcoes")
php "${sem[@]}" -r 'exit(function_exists("posix_geteuid") || function_exists("pcntl_fork") || function_exists("openssl_digest") ? 1 : 0);'
ACBR_PONTE=$ponte php "${sem[@]}" "$(command -v phpunit)"

echo
echo "--- the Composer package"
if [ -n "${ACBR_PONTE_BINARIOS:-}" ]; then
  binarios=$(realpath "$ACBR_PONTE_BINARIOS")
  for arquivo in linux-x64/acbr-ponte linux-x86/acbr-ponte win-x64/acbr-ponte.exe win-x86/acbr-ponte.exe; do
    [ -f "$binarios/$arquivo" ] || { echo "testar-cliente-php: $binarios/$arquivo missing" >&2; exit 1; }
  done
  pacotes=$raiz/build/php
else
  echo "ACBR_PONTE_BINARIOS is not set: no distributable package. The install below takes a package"
  echo "that carries only this build's bridge, as linux-x64."
  binarios=$temporario/binarios
  mkdir -p "$binarios/linux-x64"
  cp "$ponte" "$binarios/linux-x64/acbr-ponte"
  pacotes=$temporario/pacotes
fi
bash "$raiz/tools/empacotar-cliente-php.sh" "$binarios" "$pacotes"
versao=$(php -r 'require "src/Ponte.php"; echo AcbrPonte\Ponte::VERSAO;')
pacote=$pacotes/acbr-ponte-php-$versao
conteudo=$(cd "$pacote" && find . -type f | sort)
esperado=$( (cd src && find . -name '*.php' | sed 's|^\./|./src/|'; echo ./composer.json; echo ./README.md
  for chave in $(ls "$binarios"); do
    arquivo=acbr-ponte; case "$chave" in win-*) arquivo=acbr-ponte.exe ;; esac
    echo "./bin/$chave/$arquivo"; echo "./bin/$chave/acbr-ponte.sha256"
  done) | sort)
if [ "$conteudo" != "$esperado" ]; then
  echo "testar-cliente-php: unexpected package contents:" >&2
  diff <(echo "$esperado") <(echo "$conteudo") >&2 || true
  exit 1
fi
python3 -m zipfile -l "$pacotes/acbr-ponte-php-$versao.zip" | awk 'NR > 1 { print "./" $1 }' | sort | diff - <(echo "$conteudo")
(cd "$pacote/bin" && for chave in *; do (cd "$chave" && sha256sum --quiet -c acbr-ponte.sha256); done)
echo "package contents: $(echo "$conteudo" | wc -l) files, the same in the folder and the zip"

echo
echo "--- an offline install into a scratch project, and a script with no bridge path"
projeto=$temporario/projeto
mkdir -p "$projeto"
php -r 'echo json_encode(["name" => "acbr-ponte/projeto", "type" => "project",
  "repositories" => [["type" => "path", "url" => $argv[1], "options" => ["symlink" => false]], ["packagist.org" => false]],
  "require" => ["acbr-ponte/acbr-ponte" => $argv[2]]], JSON_PRETTY_PRINT | JSON_UNESCAPED_SLASHES), "\n";' \
  "$pacote" "$versao" >"$projeto/composer.json"
composer install --quiet --no-progress --working-dir="$projeto"
cat >"$projeto/consulta.php" <<'PHP'
<?php
require __DIR__ . '/vendor/autoload.php';
$ponte = new AcbrPonte\Ponte();
echo json_encode($ponte->enviar(['cmd' => 'versao']), JSON_UNESCAPED_UNICODE), "\n";
PHP
esperada='{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
chave=$(php -r 'echo PHP_INT_SIZE === 8 ? "linux-x64" : "linux-x86";')
copia=acbr-ponte-$versao-$chave-$(head -c 16 "$pacote/bin/$chave/acbr-ponte.sha256")
# No bridge path, none on PATH: the packaged bridge, copied into the per-user folder.
consultar() {
  env -u ACBR_PONTE -u XDG_DATA_HOME PATH=/usr/local/bin:/usr/bin:/bin ACBR_DIR="$build/acbr" "$@" php "$projeto/consulta.php"
}
resposta=$(consultar XDG_DATA_HOME="$temporario/dados")
echo "installed package answered: $resposta"
[ "$resposta" = "$esperada" ]
[ -x "$temporario/dados/acbr-ponte/$copia" ] || { echo "testar-cliente-php: no copy $copia" >&2; exit 1; }
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  # Installed by root, run by a user who can write neither the project nor the package.
  casa=$temporario/casa
  mkdir "$casa"
  chown 65534:65534 "$casa"
  chmod 0755 "$temporario"
  resposta=$(cd "$casa" && consultar HOME="$casa" setpriv --reuid=65534 --regid=65534 --clear-groups)
  echo "installed package answered an unprivileged user: $resposta"
  [ "$resposta" = "$esperada" ]
  [ -x "$casa/.local/share/acbr-ponte/$copia" ] || { echo "testar-cliente-php: no copy in $casa" >&2; exit 1; }
fi
[ -z "${ACBR_PONTE_BINARIOS:-}" ] || echo "the package: $pacote/ and $pacotes/acbr-ponte-php-$versao.zip"
