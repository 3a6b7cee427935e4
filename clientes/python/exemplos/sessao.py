#!/usr/bin/env python3
"""A session with acbr_ponte against a built bridge and its stand-in library: normal queries, a
crash and a hang, each recovered by the next call.

    python3 exemplos/sessao.py [--queda acesso_nulo|excecao] [caminho/para/acbr-ponte]

The bridge defaults to ACBR_PONTE; the library directory is ACBR_DIR (default: `acbr` beside
the bridge). The misbehaviours are the stand-in's ACBR_FALSA_DEFEITO, which a bridge reads from
the environment it started with: the Ponte here takes a fresh bridge every 2 commands, so each
change below reaches the next one. `excecao` needs the Free Pascal stand-in (exit status 217).
"""

from __future__ import annotations

import argparse
import os
import sys
import time
from typing import Callable, Optional

from acbr_ponte import ErroAcbrPonte, Ponte, PonteEncerrada, TempoEsgotado

LIMITE = 2.0


def main() -> int:
    argumentos = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    argumentos.add_argument("--queda", choices=["acesso_nulo", "excecao"], default="acesso_nulo")
    argumentos.add_argument("executavel", nargs="?")
    opcoes = argumentos.parse_args()

    with Ponte(opcoes.executavel, tempo_limite=LIMITE, comandos_por_ponte=2) as ponte:
        print(f"Ponte: {ponte.executavel or os.environ.get('ACBR_PONTE') or '(do pacote ou do PATH)'}, ACBR_DIR={os.environ.get('ACBR_DIR', '(beside it)')}, "
              f"tempo_limite={LIMITE:g} s, comandos_por_ponte=2")
        chamar(ponte, "versao()", ponte.versao)
        chamar(ponte, "enviar({'cmd': 'ajuda'})", lambda: ponte.enviar({"cmd": "ajuda"}))
        chamar(ponte, "versao()", ponte.versao, defeito=opcoes.queda)
        chamar(ponte, "versao()", ponte.versao)
        chamar(ponte, "enviar('[\"versao\"]')", lambda: ponte.enviar('["versao"]'))
        chamar(ponte, "versao()", ponte.versao, defeito="dorme")
        chamar(ponte, "versao()", ponte.versao)
    print(f"fechada: {filhos()}")
    return 0


def chamar(ponte: Ponte, descricao: str, chamada: Callable[[], object], defeito: Optional[str] = None) -> None:
    if defeito:
        os.environ["ACBR_FALSA_DEFEITO"] = defeito
        descricao = f"{descricao} com ACBR_FALSA_DEFEITO={defeito}"
    inicio = time.monotonic()
    try:
        resultado = f"{chamada()!r}"
    except TempoEsgotado as erro:
        resultado = f"TempoEsgotado em {time.monotonic() - inicio:.1f} s: {erro}"
    except PonteEncerrada as erro:
        resultado = f"PonteEncerrada: {str(erro).splitlines()[0]} (status={erro.status}, sinal={erro.sinal})"
        linhas = erro.stderr.splitlines()
        for linha in linhas[:2]:
            resultado += f"\n       stderr | {linha}"
        if len(linhas) > 2:
            resultado += f"\n       stderr | ... (+{len(linhas) - 2} linhas)"
    except ErroAcbrPonte as erro:
        resultado = f"{type(erro).__name__}: {erro}"
    finally:
        os.environ.pop("ACBR_FALSA_DEFEITO", None)
    # The bridge that served the call; none after a failed one.
    print(f"[ponte {ponte.pid or '-'}] {descricao}\n    -> {resultado}")


def filhos() -> str:
    """The host's child processes left (Linux), zombies included."""
    if not sys.platform.startswith("linux"):
        return "(verificado só no Linux)"
    achados = []
    for nome in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{nome}/stat", encoding="utf-8", errors="replace") as arquivo:
                dados = arquivo.read()
        except OSError:
            continue
        if int(dados[dados.rindex(")") + 2 :].split()[1]) == os.getpid():
            achados.append(nome)
    return f"processos filhos restantes: {', '.join(achados) or 'nenhum'}"


if __name__ == "__main__":
    sys.exit(main())
