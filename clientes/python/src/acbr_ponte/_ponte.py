"""The Ponte: one bridge at a time, started on demand, one command at a time."""

from __future__ import annotations

import math
import os
import threading
import weakref
from dataclasses import dataclass
from types import TracebackType
from typing import Any, Dict, Optional, Type, Union

from ._comando import ler_resposta, linha_do_comando
from ._copia import CopiaDaPonte
from ._erros import ErroDaPonte, PonteFechada, PonteNaoIniciada, RespostaInvalida
from ._localizacao import (
    ARQUITETURAS,
    NAO_ENCONTRADA,
    chave_da_plataforma,
    com_exe,
    no_path,
    pasta_por_usuario,
    ponte_do_pacote,
)
from ._processo import Processo

# Given this long to exit after its input is closed; then it is killed.
_ESPERA_AO_FECHAR = 2.0

_LINHA_VERSAO = b'{"cmd":"versao"}\n'

Caminho = Union[str, "os.PathLike[str]"]


@dataclass(frozen=True)
class Versao:
    """The library's name and version; each is None when the bridge's answer leaves it out."""

    nome: Optional[str]
    versao: Optional[str]


class _Estado:
    """What the finalizer and a forked child need; it must not hold the Ponte itself."""

    def __init__(self) -> None:
        self.processo: Optional[Processo] = None
        self.turno = threading.Lock()
        # Calls made and not yet finished, so that closing lets them finish first.
        self.pendentes = 0
        self.sem_pendentes = threading.Condition(threading.Lock())
        _ESTADOS.add(self)

    def encerrar(self) -> None:
        processo, self.processo = self.processo, None
        if processo is not None:
            processo.encerrar(_ESPERA_AO_FECHAR)

    def no_filho(self) -> None:
        # Another thread of the parent may have held the locks when it forked.
        self.turno = threading.Lock()
        self.pendentes = 0
        self.sem_pendentes = threading.Condition(threading.Lock())
        processo, self.processo = self.processo, None
        if processo is not None:
            processo.abandonar()


_ESTADOS: "weakref.WeakSet[_Estado]" = weakref.WeakSet()


def _no_filho() -> None:
    """In a child the host forked (a worker of a pre-forking server, multiprocessing): the running
    bridges are the parent's, and sharing them would mix the two processes' answers. Every Ponte
    lets go of its bridge and starts its own on its next call."""
    for estado in list(_ESTADOS):
        estado.no_filho()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_no_filho)


class Ponte:
    """A client of the acbr-ponte bridge.

    ``executavel``: the bridge's path; without it, ``ACBR_PONTE`` from the environment, else the
    bridge this package carries for the platform (run from its copy in ``pasta_de_configuracao``),
    else ``acbr-ponte`` on PATH. ``acbr_dir``: the ``ACBR_DIR`` every bridge gets (default: the
    environment's). ``tempo_limite``: seconds per call before the bridge is killed (None: no
    limit). ``comandos_por_ponte``: a fresh bridge replaces one that served this many commands
    (0: never). ``arquitetura``: ``"x86"`` runs the package's 32-bit bridge on a 64-bit host.
    ``pasta_de_configuracao``: where the package's bridge is placed, and so where the library keeps
    its configuration file (default: ``$XDG_DATA_HOME/acbr-ponte``, ``%LOCALAPPDATA%\\acbr-ponte``).

    The bridge starts on the first call, with the environment as it is then, and so does every
    later one. Calls from several threads are served one at a time.
    """

    def __init__(
        self,
        executavel: Optional[Caminho] = None,
        acbr_dir: Optional[Caminho] = None,
        tempo_limite: Optional[float] = 30.0,
        comandos_por_ponte: int = 1000,
        arquitetura: Optional[str] = None,
        pasta_de_configuracao: Optional[Caminho] = None,
    ) -> None:
        if tempo_limite is not None and (
            isinstance(tempo_limite, bool) or not isinstance(tempo_limite, (int, float))
            or not (tempo_limite > 0 and math.isfinite(tempo_limite))
        ):
            raise ValueError(f"tempo_limite deve ser positivo ou None: {tempo_limite!r}")
        if isinstance(comandos_por_ponte, bool) or not isinstance(comandos_por_ponte, int) or comandos_por_ponte < 0:
            raise ValueError(f"comandos_por_ponte deve ser um inteiro >= 0: {comandos_por_ponte!r}")
        if arquitetura is not None and arquitetura not in ARQUITETURAS:
            raise ValueError(f"arquitetura deve ser 'x64', 'x86' ou None: {arquitetura!r}")
        self.executavel = None if executavel is None else os.fspath(executavel)
        if self.executavel == "":
            raise ValueError("executavel não pode ser vazio")
        self.acbr_dir = None if acbr_dir is None else os.fspath(acbr_dir)
        self.tempo_limite = tempo_limite
        self.comandos_por_ponte = comandos_por_ponte
        self.arquitetura = arquitetura
        self.pasta_de_configuracao = None if pasta_de_configuracao is None else os.fspath(pasta_de_configuracao)
        self._fechada = False
        self._copia: Optional[CopiaDaPonte] = None
        self._estado = _Estado()
        self._finalizador = weakref.finalize(self, self._estado.encerrar)

    @property
    def pid(self) -> Optional[int]:
        """The process id of the running bridge, or None when none is running."""
        processo = self._estado.processo
        return None if processo is None else processo.pid

    def versao(self) -> Versao:
        """The library's name and version. Raises ErroDaPonte with the bridge's text."""
        resposta = self._trocar(_LINHA_VERSAO, validar_versao=True)
        if resposta["ok"]:
            return Versao(resposta.get("nome"), resposta.get("versao"))
        raise ErroDaPonte(resposta["erro"])

    def enviar(self, comando: object) -> Dict[str, Any]:
        """Sends one command and returns the decoded answer object, failures included.

        A ``str`` is sent as it is, as one line of text; any other value is sent as compact JSON
        (UTF-8, not ASCII-escaped). Blank commands, line feeds, lone surrogates and values with no
        JSON form raise ComandoRecusado before anything is written.
        """
        return self._trocar(linha_do_comando(comando), validar_versao=False)

    def fechar(self) -> None:
        """Lets the calls already made finish, closes the bridge's input, gives it a moment to exit,
        then kills it. Later calls raise PonteFechada. Closing twice is harmless."""
        estado = self._estado
        with estado.sem_pendentes:
            self._fechada = True
            estado.sem_pendentes.wait_for(lambda: estado.pendentes == 0)
        with estado.turno:
            self._finalizador()

    def __enter__(self) -> Ponte:
        return self

    def __exit__(
        self,
        tipo: Optional[Type[BaseException]],
        erro: Optional[BaseException],
        rastro: Optional[TracebackType],
    ) -> None:
        self.fechar()

    def __repr__(self) -> str:
        return f"Ponte(executavel={self.executavel!r}, pid={self.pid!r})"

    def _trocar(self, linha: bytes, validar_versao: bool) -> Dict[str, Any]:
        estado = self._estado
        with estado.sem_pendentes:
            if self._fechada:
                raise PonteFechada()
            estado.pendentes += 1
        try:
            with estado.turno:
                processo = self._pronto()
                try:
                    linha_lida = processo.trocar(linha, self.tempo_limite)
                    resposta = ler_resposta(linha_lida)
                    if validar_versao and not _versao_valida(resposta):
                        raise RespostaInvalida(linha_lida.rstrip(b"\n").decode("utf-8", "replace"))
                except BaseException:
                    # Failed, or interrupted (KeyboardInterrupt...) with an answer still to come
                    # that would be taken for the next call's: this bridge is done.
                    estado.processo = None
                    processo.matar()
                    raise
                return resposta
        finally:
            with estado.sem_pendentes:
                estado.pendentes -= 1
                if estado.pendentes == 0:
                    estado.sem_pendentes.notify_all()

    def _pronto(self) -> Processo:
        estado = self._estado
        processo = estado.processo
        if processo is not None:
            if not processo.ociosa():
                estado.processo = None
                processo.matar()
            elif 0 < self.comandos_por_ponte <= processo.comandos:
                estado.processo = None
                processo.encerrar(_ESPERA_AO_FECHAR)
            else:
                return processo
        ambiente = None
        if self.acbr_dir is not None:
            ambiente = dict(os.environ)
            ambiente["ACBR_DIR"] = self.acbr_dir
        processo = Processo(self._executavel(), ambiente)
        estado.processo = processo
        return processo

    def _executavel(self) -> str:
        """The bridge to start now: the option, ACBR_PONTE, the package's (its checked copy), PATH."""
        if self.executavel is not None:
            return com_exe(self.executavel)
        do_ambiente = os.environ.get("ACBR_PONTE")
        if do_ambiente:
            return com_exe(do_ambiente)
        chave = chave_da_plataforma(self.arquitetura)
        origem = None if chave is None else ponte_do_pacote(chave)
        if origem is not None:
            pasta = self.pasta_de_configuracao or pasta_por_usuario()
            if self._copia is None or self._copia.origem != origem or self._copia.pasta != pasta:
                from . import __version__

                self._copia = CopiaDaPonte(origem, pasta, __version__)
            return self._copia.pronta()
        achado = no_path()
        if achado is None:
            raise PonteNaoIniciada(NAO_ENCONTRADA)
        return achado


def _versao_valida(resposta: Dict[str, Any]) -> bool:
    """``{"ok":true}`` whose name and version are texts or absent, or ``{"ok":false}`` with a text."""
    if resposta["ok"]:
        return all(isinstance(resposta.get(campo, ""), str) for campo in ("nome", "versao"))
    return isinstance(resposta.get("erro"), str)
