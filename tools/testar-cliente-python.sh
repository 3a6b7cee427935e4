#!/usr/bin/env bash
# The Python client (clientes/python): its types checked by mypy (strict, Python 3.9 rules); the
# package installed offline into fresh virtual environments, from the tree with the python3 first
# on PATH and from its sdist with Debian's /usr/bin/python3 when that is another one; the wheel
# and the sdist built and checked; the tests run with the installed package against the built
# bridge and its stand-in libraries; and the example session run.
# Installs its Debian packages first when run as root (tools/dependencias.sh python).
#   tools/testar-cliente-python.sh [BUILD_DIR]      BUILD_DIR defaults to build/ci
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/dependencias.sh python

build=${1:-build/ci}
ponte=$(realpath -m "$build/acbr-ponte")
if [ ! -x "$ponte" ]; then
  echo "testar-cliente-python: $ponte not found; build it first (cmake --workflow --preset ci)" >&2
  exit 1
fi
pacote=$PWD/clientes/python
temporario=$(mktemp -d /tmp/acbr-ponte-python-XXXXXX)
trap 'rm -rf "$temporario"' EXIT
export PYTHONDONTWRITEBYTECODE=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1
pip=(--quiet --no-input)

echo "--- mypy --strict, Python 3.9 rules"
(cd "$pacote" && MYPYPATH=src:tests mypy --strict --python-version 3.9 --cache-dir "$temporario/mypy" \
  src/acbr_ponte _construcao tests exemplos)

# The python3 first on PATH (here pyenv's, which lacks `wheel`) installs from the tree; Debian's,
# when it is another interpreter (else the same one), installs from the sdist.
segundo=python3
if [ -x /usr/bin/python3 ] && [ "$(python3 -c 'import sys; print(sys.base_prefix)')" != /usr ]; then
  segundo=/usr/bin/python3
fi

echo "--- install with $(python3 --version) from the tree; wheel and sdist"
ambiente=$temporario/venv-1
python3 -m venv "$ambiente"
"$ambiente/bin/python" -m pip install "${pip[@]}" "$pacote"
"$ambiente/bin/python" -m pip wheel "${pip[@]}" --no-deps -w "$temporario/dist" "$pacote"
sdist=$(cd "$temporario" && python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import construtor
print(construtor.build_sdist(sys.argv[2]))' "$pacote/_construcao" "$temporario/dist")
ls -l "$temporario/dist"

echo "--- tests, with the installed package"
(cd "$temporario" && ACBR_PONTE=$ponte ACBR_PONTE_RODA=$(ls "$temporario"/dist/*.whl) \
  ACBR_PONTE_SDIST=$temporario/dist/$sdist "$ambiente/bin/python" -m unittest discover -v \
  -s "$pacote/tests" -t "$pacote/tests") 2>&1 | tee "$temporario/testes.log"
if grep -q ResourceWarning "$temporario/testes.log"; then
  echo "testar-cliente-python: the tests left a ResourceWarning" >&2
  exit 1
fi

echo "--- install with $("$segundo" --version) ($(command -v "$segundo")) from the sdist; the example session"
ambiente=$temporario/venv-2
"$segundo" -m venv "$ambiente"
"$ambiente/bin/python" -m pip install "${pip[@]}" "$temporario/dist/$sdist"
sessao=(env ACBR_PONTE="$ponte" "$ambiente/bin/python" "$pacote/exemplos/sessao.py")
if [ -e "$build/falsa/pascal" ]; then
  # The Free Pascal stand-in shows an unhandled exception: status 217 and the runtime's report.
  sessao=(env ACBR_DIR="$(realpath "$build/falsa/pascal")" "${sessao[@]}" --queda excecao)
fi
(cd "$temporario" && "${sessao[@]}")

# The platform wheels, with the shipped bridges of ACBR_PONTE_BINARIOS (<dir>/<key>/acbr-ponte[.exe],
# tools/reunir_binarios.py): each built twice to the same bytes, its tag and bridges checked;
# then this machine's one installed into a fresh virtual environment, where a program that names no bridge gets the packaged one, as root and as an
# unprivileged user whose per-user folder receives the copy and the library's configuration file.
if [ -z "${ACBR_PONTE_BINARIOS:-}" ]; then
  echo "--- platform wheels skipped: ACBR_PONTE_BINARIOS is not set (tools/reunir_binarios.py makes the folder)"
  exit 0
fi
binarios=$(realpath "$ACBR_PONTE_BINARIOS")
echo "--- platform wheels, from $binarios"
rodas=$temporario/rodas
mkdir -p "$rodas/1" "$rodas/2"
for plataforma in linux-x64 linux-x86 win-x64 win-x86; do
  for vez in 1 2; do
    (cd "$temporario" && python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import construtor
print(construtor.build_wheel(sys.argv[2], {"plataforma": sys.argv[3], "binarios": sys.argv[4]}))' \
      "$pacote/_construcao" "$rodas/$vez" "$plataforma" "$binarios") >/dev/null
  done
done
if ! diff -r "$rodas/1" "$rodas/2" >/dev/null; then
  echo "testar-cliente-python: the platform wheels differ from one build to the next" >&2
  exit 1
fi
ls -l "$rodas/1"
(cd "$temporario" && ACBR_PONTE_RODAS=$rodas/1 "$ambiente/bin/python" -m unittest discover -v \
  -s "$pacote/tests" -t "$pacote/tests" -p test_construcao.py -k rodas_de_plataforma)
roda=$(ls "$rodas"/1/acbr_ponte-*-manylinux_*_x86_64.whl)
ambiente=$temporario/venv-roda
# Debian's interpreter, which every user can run (pyenv's lives under /root).
"$segundo" -m venv "$ambiente"
"$ambiente/bin/python" -m pip install "${pip[@]}" "$roda"
chmod -R a+rX "$temporario"
esperado="Versao(nome='ACBrLibNFe (falsa)', versao='0.0.0-falsa')"
programa='import acbr_ponte
with acbr_ponte.Ponte() as ponte:
    print(ponte.versao())'
falsa=$(realpath "$build/acbr")
chmod a+rx "$(dirname "$falsa")" "$falsa"
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
    executar=(setpriv --reuid=65534 --regid=65534 --clear-groups "${executar[@]}")
  fi
  obtido=$(cd / && "${executar[@]}" "$ambiente/bin/python" -c "$programa")
  copia=$(find "$casa" -name 'acbr-ponte-*-linux-x64-*' -type f)
  if [ "$obtido" != "$esperado" ] || [ -z "$copia" ] || [ ! -f "$(dirname "$copia")/acbrlib.ini" ]; then
    echo "testar-cliente-python: as $usuario, the packaged bridge answered: $obtido (copy: ${copia:-none})" >&2
    exit 1
  fi
  echo "as $usuario, with no bridge named: $obtido; copy $copia, configuration beside it"
  rm -rf "$casa"
done

# The Windows x64 wheel's own bridge, run under Wine with the stand-in of the Windows release build.
falsa_windows=build/windows-release/acbr/ACBrNFe64.dll
wine=$(command -v wine64 || command -v /usr/lib/wine/wine64 || true)
if [ -z "$wine" ] || [ ! -f "$falsa_windows" ]; then
  echo "--- the Windows x64 wheel's bridge under Wine: skipped (needs wine64 and $falsa_windows)"
  exit 0
fi
janelas=$temporario/janelas
mkdir -p "$janelas/acbr"
python3 - "$(ls "$rodas"/1/acbr_ponte-*-win_amd64.whl)" "$janelas" <<'FIM'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as roda:
    with open(sys.argv[2] + "/acbr-ponte.exe", "wb") as saida:
        saida.write(roda.read("acbr_ponte/bin/win-x64/acbr-ponte.exe"))
FIM
cp "$falsa_windows" "$janelas/acbr/"
export WINEPREFIX=$temporario/wine WINEDEBUG=-all LANG=C.UTF-8
obtido=$(printf '{"cmd":"versao"}\r\n' | "$wine" "$janelas/acbr-ponte.exe" 2>/dev/null | tr -d '\r')
wineserver -k 2>/dev/null || true
if [ "$obtido" != '{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}' ]; then
  echo "testar-cliente-python: the Windows x64 wheel's bridge under Wine answered: $obtido" >&2
  exit 1
fi
echo "--- the Windows x64 wheel's bridge under Wine: $obtido"
