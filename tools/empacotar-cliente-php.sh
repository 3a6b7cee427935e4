#!/usr/bin/env bash
# Packs the PHP client (clientes/php) as the Composer package acbr-ponte/acbr-ponte with the
# release bridges: DESTINO/acbr-ponte-php-<version>/ (for a Composer `path` repository) and
# DESTINO/acbr-ponte-php-<version>.zip (`composer archive`, for an `artifact` repository or a
# download). BINARIOS holds <key>/acbr-ponte (linux-x64, linux-x86) and <key>/acbr-ponte.exe
# (win-x64, win-x86), as tools/ makes them; each key present goes to bin/<key>/ with its
# acbr-ponte.sha256. Needs php and composer; never reaches the network.
#   tools/empacotar-cliente-php.sh BINARIOS DESTINO
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "uso: $0 BINARIOS DESTINO" >&2
  exit 2
fi
binarios=$(realpath "$1")
destino=$(realpath -m "$2")
cd "$(dirname "$0")/../clientes/php"

versao=$(php -r 'require "src/Ponte.php"; echo AcbrPonte\Ponte::VERSAO;')
nome=acbr-ponte-php-$versao
pacote=$destino/$nome
rm -rf "$pacote" "$destino/$nome.zip"
mkdir -p "$pacote"
cp -r src README.md "$pacote/"
# The version a Composer path repository reads, from the one the code names its copies with.
php -r '$json = json_decode(file_get_contents("composer.json"), true);
$json = ["name" => $json["name"], "version" => $argv[1]] + $json;
file_put_contents($argv[2], json_encode($json, JSON_PRETTY_PRINT | JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE) . "\n");' \
  "$versao" "$pacote/composer.json"

chaves=()
for chave in linux-x64 linux-x86 win-x64 win-x86; do
  arquivo=acbr-ponte
  case "$chave" in win-*) arquivo=acbr-ponte.exe ;; esac
  [ -f "$binarios/$chave/$arquivo" ] || continue
  mkdir -p "$pacote/bin/$chave"
  install -m 0755 "$binarios/$chave/$arquivo" "$pacote/bin/$chave/$arquivo"
  (cd "$pacote/bin/$chave" && sha256sum "$arquivo" >acbr-ponte.sha256)
  chaves+=("$chave")
done
if [ ${#chaves[@]} -eq 0 ]; then
  echo "empacotar-cliente-php: no bridge in $binarios (<key>/acbr-ponte[.exe])" >&2
  exit 1
fi

temporario=$(mktemp -d)
trap 'rm -rf "$temporario"' EXIT
COMPOSER_HOME=$temporario COMPOSER_CACHE_DIR=$temporario/cache COMPOSER_DISABLE_NETWORK=1 \
  COMPOSER_NO_INTERACTION=1 COMPOSER_ALLOW_SUPERUSER=1 \
  composer archive --quiet --working-dir="$pacote" --format=zip --dir="$destino" --file="$nome"
echo "$pacote/ ($(du -sk "$pacote" | cut -f1) KiB) and $destino/$nome.zip ($(stat -c %s "$destino/$nome.zip") bytes): bridges for ${chaves[*]}"
