"""What the tests share: where the built bridge and its stand-ins are, the environment, and what
this process has left in /proc.

The tests run the real bridge named by ACBR_PONTE (tools/testar-cliente-python.sh sets it to
<build>/acbr-ponte); the stand-ins are found where the build puts them: <build>/acbr (C),
<build>/falsa/pascal (Free Pascal, absent without fpc) and <build>/falsa/<variante>.
"""

from __future__ import annotations

import contextlib
import os
import shlex
import sys
import tempfile
import unittest
from typing import Dict, Iterator, List, Optional, Tuple

PONTE = os.environ.get("ACBR_PONTE", "")
BUILD = os.path.dirname(os.path.abspath(PONTE)) if PONTE else ""
FALSA_C = os.path.join(BUILD, "acbr")
FALSA_PASCAL = os.path.join(BUILD, "falsa", "pascal")
LINUX = sys.platform.startswith("linux")

_SEM_PONTE = "ACBR_PONTE does not name a built acbr-ponte (tools/testar-cliente-python.sh sets it)"
_SEM_PASCAL = "the Free Pascal stand-in was not built (fpc missing)"


def exigir_ponte() -> None:
    """Skips the calling test class when there is no bridge to run."""
    if not (PONTE and os.access(PONTE, os.X_OK)):
        raise unittest.SkipTest(_SEM_PONTE)


def variante(nome: str) -> str:
    return os.path.join(BUILD, "falsa", nome)


def arquivo_da_biblioteca() -> str:
    """The library's file name on this platform, as the C stand-in was built."""
    return sorted(os.listdir(FALSA_C))[0]


def falsas() -> List[Tuple[str, Optional[str]]]:
    """(name, directory) of each stand-in; the directory is None when it was not built."""
    pascal = FALSA_PASCAL if os.path.isdir(FALSA_PASCAL) and os.listdir(FALSA_PASCAL) else None
    return [("C", FALSA_C), ("Pascal", pascal)]


def exigir(teste: unittest.TestCase, diretorio: Optional[str]) -> str:
    """Inside a subTest: skips that case when its stand-in is absent."""
    if diretorio is None:
        teste.skipTest(_SEM_PASCAL)
    assert diretorio is not None
    return diretorio


@contextlib.contextmanager
def ambiente(**variaveis: Optional[str]) -> Iterator[None]:
    """Sets (or, for None, removes) environment variables and puts them back afterwards."""
    antes = {nome: os.environ.get(nome) for nome in variaveis}
    try:
        for nome, valor in variaveis.items():
            _definir(nome, valor)
        yield
    finally:
        for nome, valor in antes.items():
            _definir(nome, valor)


def _definir(nome: str, valor: Optional[str]) -> None:
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


def descritores() -> int:
    return len(os.listdir("/proc/self/fd"))


def ponte_simulada(diretorio: str, modo: str) -> str:
    """An executable that plays a misbehaving bridge (ponte_simulada.py) for the cases the real
    one cannot reach."""
    simulada = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ponte_simulada.py")
    caminho = os.path.join(diretorio, f"ponte-{modo}")
    with open(caminho, "w", encoding="utf-8") as arquivo:
        arquivo.write(f"#!/bin/sh\nexec {shlex.quote(sys.executable)} {shlex.quote(simulada)} {modo}\n")
    os.chmod(caminho, 0o755)
    return caminho


class TesteComPonte(unittest.TestCase):
    """A test case that needs the built bridge, and checks that it leaves no child process and
    no descriptor behind."""

    @classmethod
    def setUpClass(cls) -> None:
        exigir_ponte()

    def setUp(self) -> None:
        self.descritores_antes = descritores()
        self.temporario = tempfile.TemporaryDirectory(prefix="acbr-ponte-teste-")
        self.addCleanup(self.temporario.cleanup)

    def tearDown(self) -> None:
        if LINUX:
            self.assertEqual(filhos(), {}, "child processes left behind")
            self.assertEqual(descritores(), self.descritores_antes, "descriptors left open")
