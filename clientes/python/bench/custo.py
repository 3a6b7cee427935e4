#!/usr/bin/env python3
"""The cost of a call through the Python client against the same exchange over raw pipes.

    PYTHONPATH=clientes/python/src python3 clientes/python/bench/custo.py --ponte PONTE
        [--acbr-dir DIR] [--chamadas 3000] [--rodadas 5] [--pares 11]

Per call: CHAMADAS version queries through one Ponte (recycling off) against the same lines written
to and read from a bridge started with subprocess.Popen, in blocks of 100 taken in turn, the order
swapped every round; the median of RODADAS rounds. First answer: a new Ponte's first versao()
against a bare Popen and one exchange (closing counted on neither side), PARES pairs after one
warm-up pair, the order swapped every pair; the median. The client gets no path: the bridge
reaches it through ACBR_PONTE, as a host's environment would give it.

Prints one line per measure, `<nome> <mediana> us <razao>x [<cada rodada>]`.
"""

from __future__ import annotations

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, Dict, List

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "src"))

from acbr_ponte import Ponte  # noqa: E402

LINHA = b'{"cmd":"versao"}\n'
BLOCO = 100


def iniciar(ponte: str) -> "subprocess.Popen[bytes]":
    return subprocess.Popen([ponte], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def trocar(processo: "subprocess.Popen[bytes]") -> None:
    assert processo.stdin is not None and processo.stdout is not None
    processo.stdin.write(LINHA)
    processo.stdin.flush()
    if not processo.stdout.readline().startswith(b'{"ok":true'):
        raise RuntimeError("resposta inesperada da ponte")


def terminar(processo: "subprocess.Popen[bytes]") -> None:
    assert processo.stdin is not None and processo.stdout is not None
    processo.stdin.close()
    processo.wait()
    processo.stdout.close()


def rodada(ponte: str, chamadas: int, cliente_primeiro: bool) -> Dict[str, float]:
    """Microseconds per call on each side."""
    cru = iniciar(ponte)
    tempos = {"bruta": 0.0, "cliente": 0.0}
    with Ponte(comandos_por_ponte=0) as cliente:
        trocar(cru)
        cliente.versao()
        lados: Dict[str, Callable[[], object]] = {"bruta": lambda: trocar(cru), "cliente": cliente.versao}
        ordem = ["cliente", "bruta"] if cliente_primeiro else ["bruta", "cliente"]
        for feitas in range(0, chamadas, BLOCO):
            vez = min(BLOCO, chamadas - feitas)
            for lado in ordem:
                chamar = lados[lado]
                inicio = time.perf_counter()
                for _ in range(vez):
                    chamar()
                tempos[lado] += time.perf_counter() - inicio
    terminar(cru)
    return {lado: segundos * 1e6 / chamadas for lado, segundos in tempos.items()}


def primeira_bruta(ponte: str) -> float:
    inicio = time.perf_counter()
    processo = iniciar(ponte)
    trocar(processo)
    tempo = time.perf_counter() - inicio
    terminar(processo)
    return tempo * 1e6


def primeira_do_cliente() -> float:
    inicio = time.perf_counter()
    cliente = Ponte()
    cliente.versao()
    tempo = time.perf_counter() - inicio
    cliente.fechar()
    return tempo * 1e6


def mostrar(nome: str, valores: List[float], base: float) -> None:
    mediana = statistics.median(valores)
    cada = " ".join(f"{v:.1f}" for v in valores)
    print(f"{nome:<17} {mediana:9.1f} us  {mediana / base:5.2f}x  [{cada}]")


def main() -> int:
    opcoes = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    opcoes.add_argument("--ponte", default=os.environ.get("ACBR_PONTE"), help="the bridge (default: ACBR_PONTE)")
    opcoes.add_argument("--acbr-dir", help="ACBR_DIR for both sides (default: the environment's)")
    opcoes.add_argument("--chamadas", type=int, default=3000)
    opcoes.add_argument("--rodadas", type=int, default=5)
    opcoes.add_argument("--pares", type=int, default=11)
    argumentos = opcoes.parse_args()
    if not argumentos.ponte:
        opcoes.error("--ponte (or ACBR_PONTE) is required")
    ponte = os.path.abspath(argumentos.ponte)
    # Both sides start their bridges with this environment.
    os.environ["ACBR_PONTE"] = ponte
    if argumentos.acbr_dir:
        os.environ["ACBR_DIR"] = os.path.abspath(argumentos.acbr_dir)

    rodada(ponte, min(argumentos.chamadas, 500), False)  # warms the caches and the allocator on both paths
    medidas: Dict[str, List[float]] = {"bruta": [], "cliente": [], "primeira_bruta": [], "primeira_cliente": []}
    for r in range(argumentos.rodadas):
        for lado, tempo in rodada(ponte, argumentos.chamadas, r % 2 == 1).items():
            medidas[lado].append(tempo)
    primeiras: Dict[str, Callable[[], float]] = {
        "primeira_bruta": lambda: primeira_bruta(ponte),
        "primeira_cliente": primeira_do_cliente,
    }
    primeira_bruta(ponte)
    primeira_do_cliente()
    for par in range(argumentos.pares):
        for lado in (["primeira_bruta", "primeira_cliente"] if par % 2 == 0 else ["primeira_cliente", "primeira_bruta"]):
            medidas[lado].append(primeiras[lado]())

    print(f"Python {sys.version.split()[0]}, ponte {ponte}, ACBR_DIR {os.environ.get('ACBR_DIR', '(none)')}, "
          f"{argumentos.chamadas} chamadas, mediana de {argumentos.rodadas} rodadas; "
          f"primeira resposta: mediana de {argumentos.pares} pares")
    bruta = statistics.median(medidas["bruta"])
    primeira = statistics.median(medidas["primeira_bruta"])
    for nome, valores in medidas.items():
        mostrar(nome, valores, primeira if nome.startswith("primeira") else bruta)
    return 0


if __name__ == "__main__":
    sys.exit(main())
