#!/usr/bin/env python3
"""Regenerates the Unicode table into a scratch file and compares it byte for byte with the
committed one, so that a hand edit or a stale table fails the build's tests.

Usage: conferir_tabelas_unicode.py GENERATOR INPUT_DIR COMMITTED_FILE SCRATCH_FILE
Exits 77 (reported as skipped) when the Unicode data files are not installed.
"""

import pathlib
import subprocess
import sys

PULAR = 77


def main(gerador, diretorio, versionado, rascunho):
    diretorio = pathlib.Path(diretorio)
    faltando = [nome for nome in ("UnicodeData.txt", "DerivedCoreProperties.txt")
                if not (diretorio / nome).is_file()]
    if faltando:
        print(f"skipped: {', '.join(faltando)} not found in {diretorio}")
        return PULAR
    subprocess.run([sys.executable, gerador, str(diretorio), rascunho], check=True)
    esperado = pathlib.Path(versionado).read_bytes()
    obtido = pathlib.Path(rascunho).read_bytes()
    if esperado == obtido:
        return 0
    linhas_esperadas = esperado.splitlines()
    linhas_obtidas = obtido.splitlines()
    for numero, (a, b) in enumerate(zip(linhas_esperadas, linhas_obtidas), start=1):
        if a != b:
            print(f"{versionado}:{numero}: committed {a!r}, regenerated {b!r}")
            break
    else:
        print(f"{versionado}: {len(linhas_esperadas)} lines committed, "
              f"{len(linhas_obtidas)} regenerated")
    print(f"the committed table differs from {rascunho}: rerun tools/gerar_tabelas_unicode.py")
    return 1


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
