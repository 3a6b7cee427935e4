"""Where the bridge comes from: the path given, ACBR_PONTE, the bridge in this package for the
platform, or acbr-ponte on PATH."""

from __future__ import annotations

import os
import platform
import shutil
import struct
import sys
from dataclasses import dataclass
from typing import Optional

from ._erros import PonteNaoIniciada

NOME_DO_EXECUTAVEL = "acbr-ponte"
PASTA_DO_PACOTE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin")
"""Where a platform wheel puts its bridges: bin/<key>/acbr-ponte[.exe] and acbr-ponte.sha256."""

ARQUITETURAS = ("x64", "x86")
_X86 = {"x86_64", "amd64", "i386", "i486", "i586", "i686", "x86"}

NAO_ENCONTRADA = (
    "acbr-ponte não encontrado: dê o caminho da ponte, defina ACBR_PONTE, instale o pacote com a "
    "ponte desta plataforma ou ponha acbr-ponte no PATH"
)


@dataclass(frozen=True)
class PonteDoPacote:
    """A bridge this package carries, and the sha256 the package gives for it."""

    chave: str
    caminho: str
    sha256: str


def chave_da_plataforma(arquitetura: Optional[str]) -> Optional[str]:
    """``linux-x64``, ``win-x86``, ...: the system and the word size of this process, or of
    ``arquitetura``; None where no bridge is packaged (the library exists for neither)."""
    if sys.platform.startswith("linux"):
        sistema = "linux"
    elif sys.platform == "win32":
        sistema = "win"
    else:
        return None
    if arquitetura is None:
        if platform.machine().lower() not in _X86:
            return None
        arquitetura = "x64" if struct.calcsize("P") == 8 else "x86"
    return f"{sistema}-{arquitetura}"


def ponte_do_pacote(chave: str) -> Optional[PonteDoPacote]:
    """The packaged bridge for ``chave``, or None when this package carries none for it."""
    pasta = PASTA_DO_PACOTE
    nome = NOME_DO_EXECUTAVEL + (".exe" if chave.startswith("win-") else "")
    caminho = os.path.join(pasta, chave, nome)
    if not os.path.isfile(caminho):
        return None
    try:
        with open(os.path.join(pasta, chave, NOME_DO_EXECUTAVEL + ".sha256"), encoding="ascii") as arquivo:
            sha256 = arquivo.read(64)
    except (OSError, ValueError):
        sha256 = ""
    if len(sha256) != 64 or any(c not in "0123456789abcdef" for c in sha256):
        raise PonteNaoIniciada(f"a ponte do pacote {caminho} não confere com o sha256 que o pacote traz", caminho)
    return PonteDoPacote(chave, caminho, sha256)


def no_path() -> Optional[str]:
    return shutil.which(NOME_DO_EXECUTAVEL)  # PATHEXT gives the .exe on Windows


def com_exe(caminho: str) -> str:
    """On Windows, a path given without ``.exe`` names the file with it, when only that exists."""
    if os.name == "nt" and not os.path.exists(caminho) and os.path.exists(caminho + ".exe"):
        return caminho + ".exe"
    return caminho


def pasta_por_usuario() -> str:
    """The per-user folder where the bridge from the package is placed."""
    if os.name == "nt":
        base = os.environ.get("LOCALAPPDATA") or os.path.join(os.path.expanduser("~"), "AppData", "Local")
    else:
        base = os.environ.get("XDG_DATA_HOME", "")
        if not os.path.isabs(base):
            base = os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(base, NOME_DO_EXECUTAVEL)
