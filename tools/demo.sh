#!/usr/bin/env bash
# Builds the bridge in release mode, with the stand-in ACBr library in the `acbr` directory
# beside it, and runs a short session: a version query, a blank line, an invalid command.
# On a fresh Debian 12, run as root, it first installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/dependencias.sh demo
cmake --preset release >/dev/null
cmake --build --preset release --target acbr-ponte acbr_falsa
echo
python3 docs/exemplo_host.py build/release/acbr-ponte
