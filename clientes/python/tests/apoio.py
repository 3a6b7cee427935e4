"""What the tests share: where the built bridge, its stand-ins and the table of client cases are,
the environment, and what this process has left in /proc.

The tests run the real bridge named by ACBR_PONTE (tools/testar-cliente-python.sh sets it to
<build>/acbr-ponte); the stand-ins are found where the build puts them: <build>/acbr (C),
<build>/falsa/pascal (Free Pascal, absent without fpc) and <build>/falsa/<variante>.
"""

from __future__ import annotations

import contextlib
import os
import sys
import unittest
from typing import Dict, Iterator, Optional

AQUI = os.path.dirname(os.path.abspath(__file__))
PONTE = os.environ.get("ACBR_PONTE", "")
BUILD = os.path.dirname(os.path.abspath(PONTE)) if PONTE else ""
FALSA_C = os.path.join(BUILD, "acbr")
FALSA_PASCAL = os.path.join(BUILD, "falsa", "pascal")
VARIANTES = os.path.join(BUILD, "falsa")
# The table and the simulated bridges every client shares (clientes/casos), found beside this
# client in the repository, or where ACBR_PONTE_CASOS says.
def _casos() -> str:
    for pasta in (os.environ.get("ACBR_PONTE_CASOS", ""), os.path.join(AQUI, "..", "..", "casos"), os.path.join(AQUI, "..", "casos")):
        if pasta and os.path.isdir(pasta):
            return pasta
    return ""


CASOS = _casos()
PONTES_SIMULADAS = os.path.join(CASOS, "pontes")
LINUX = sys.platform.startswith("linux")
ESPERADA = "ACBrLibNFe (falsa)"

SEM_PONTE = "ACBR_PONTE does not name a built acbr-ponte (tools/testar-cliente-python.sh sets it)"
SEM_PASCAL = "the Free Pascal stand-in was not built (fpc missing)"


def ha_ponte() -> bool:
    return bool(PONTE) and os.access(PONTE, os.X_OK)


def ha_pascal() -> bool:
    return os.path.isdir(FALSA_PASCAL) and any(nome.endswith((".so", ".dll")) for nome in os.listdir(FALSA_PASCAL))


def arquivo_da_biblioteca() -> str:
    """The library's file name on this platform, as the C stand-in was built."""
    return next(nome for nome in sorted(os.listdir(FALSA_C)) if nome.endswith((".so", ".dll")))


@contextlib.contextmanager
def ambiente(**variaveis: Optional[str]) -> Iterator[None]:
    """Sets (or, for None, removes) environment variables and puts them back afterwards."""
    antes = {nome: os.environ.get(nome) for nome in variaveis}
    try:
        for nome, valor in variaveis.items():
            definir(nome, valor)
        yield
    finally:
        for nome, valor in antes.items():
            definir(nome, valor)


def definir(nome: str, valor: Optional[str]) -> None:
    if valor is None:
        os.environ.pop(nome, None)
    else:
        os.environ[nome] = valor


def filhos() -> Dict[int, str]:
    """This process's children, zombies included, with their state letter (Z: zombie)."""
    achados = {}
    for nome in os.listdir("/proc"):
        if not nome.isdigit():
            continue
        try:
            with open(f"/proc/{nome}/stat", encoding="utf-8", errors="replace") as arquivo:
                dados = arquivo.read()
        except OSError:
            continue
        # The command name may hold spaces and parentheses: the fields follow the last ')'.
        estado, pai = dados[dados.rindex(")") + 2 :].split()[:2]
        if int(pai) == os.getpid():
            achados[int(nome)] = estado
    return achados


def estado_do_processo(pid: int) -> str:
    """The state letter of a process (Z: zombie), or '?' when it is gone."""
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8") as arquivo:
            dados = arquivo.read()
    except OSError:
        return "?"
    return dados[dados.rindex(")") + 2]


def descritores() -> int:
    return len(os.listdir("/proc/self/fd"))


class TesteComPonte(unittest.TestCase):
    """A test case that needs the built bridge, and checks that it leaves no child process and no
    descriptor behind."""

    @classmethod
    def setUpClass(cls) -> None:
        if not ha_ponte():
            raise unittest.SkipTest(SEM_PONTE)

    def setUp(self) -> None:
        self.descritores_antes = descritores() if LINUX else 0

    def tearDown(self) -> None:
        if LINUX:
            self.assertEqual(filhos(), {}, "child processes left behind")
            self.assertEqual(descritores(), self.descritores_antes, "descriptors left open")
