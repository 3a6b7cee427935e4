#!/usr/bin/env python3
"""Regenerates every committed Unicode table (the generator's TABELAS) and compares each byte for
byte with the committed file, so that a hand edit or a stale table fails the build's tests.

Usage: conferir_tabelas_unicode.py GENERATOR INPUT_DIR SOURCE_ROOT
Exits 77 (reported as skipped) when the Unicode data files are not installed.
"""

import importlib.util
import pathlib
import sys

sys.dont_write_bytecode = True  # the generator is imported from the source tree, which stays as it is

PULAR = 77
ARQUIVOS = ("UnicodeData.txt", "DerivedCoreProperties.txt", "PropList.txt")


def main(gerador, diretorio, raiz):
    diretorio, raiz = pathlib.Path(diretorio), pathlib.Path(raiz)
    faltando = [nome for nome in ARQUIVOS if not (diretorio / nome).is_file()]
    if faltando:
        print(f"skipped: {', '.join(faltando)} not found in {diretorio}")
        return PULAR
    especificacao = importlib.util.spec_from_file_location("gerar_tabelas_unicode", gerador)
    modulo = importlib.util.module_from_spec(especificacao)
    especificacao.loader.exec_module(modulo)
    falhou = 0
    for caminho, texto in modulo.tabelas(diretorio).items():
        versionado = raiz / caminho
        esperado = versionado.read_bytes() if versionado.is_file() else b""
        obtido = texto.encode("utf-8")
        if esperado == obtido:
            print(f"{caminho}: as generated")
            continue
        falhou = 1
        linhas_esperadas = esperado.splitlines()
        linhas_obtidas = obtido.splitlines()
        for numero, (a, b) in enumerate(zip(linhas_esperadas, linhas_obtidas), start=1):
            if a != b:
                print(f"{caminho}:{numero}: committed {a!r}, regenerated {b!r}")
                break
        else:
            print(f"{caminho}: {len(linhas_esperadas)} lines committed, {len(linhas_obtidas)} regenerated")
    if falhou:
        print("the committed tables differ from the data: rerun tools/gerar_tabelas_unicode.py")
    return falhou


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
