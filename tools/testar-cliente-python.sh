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
