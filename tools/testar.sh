#!/usr/bin/env bash
# Builds and runs the whole test suite (warnings are errors). On a fresh Debian 12, run as root,
# it first installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/dependencias.sh testes
cmake --workflow --preset ci
