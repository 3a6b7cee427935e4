"""The Ponte: one bridge at a time, started on demand, one command at a time."""

from __future__ import annotations

import errno
import json
import math
import os
import shutil
import threading
import weakref
from dataclasses import dataclass
from types import TracebackType
from typing import Any, Dict, Optional, Type, Union

from ._erros import ComandoRecusado, ErroDaPonte, PonteFechada, RespostaInvalida
from ._processo import Processo

NOME_DO_EXECUTAVEL = "acbr-ponte"

# Given this long to exit after its input is closed; then it is killed.
_ESPERA_AO_FECHAR = 2.0

# The characters the bridge treats as white space (Unicode White_Space): a line made only of
# them gets no answer. Not str.isspace(), which also takes U+001C..U+001F.
_BRANCOS = (
    "\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009"
    "\u200a\u2028\u2029\u202f\u205f\u3000"
)

_LINHA_VERSAO = b'{"cmd":"versao"}\n'


@dataclass(frozen=True)
class Versao:
    """The library's name and version; each is None when the library gave none."""

    nome: Optional[str]
    versao: Optional[str]


class _Estado:
    """What the finalizer and a forked child need; it must not hold the Ponte itself."""

    def __init__(self) -> None:
        self.processo: Optional[Processo] = None
        self.chamadas = threading.Lock()
        _ESTADOS.add(self)

    def encerrar(self) -> None:
        processo, self.processo = self.processo, None
        if processo is not None:
            processo.encerrar(_ESPERA_AO_FECHAR)

    def no_filho(self) -> None:
        self.chamadas = threading.Lock()  # another thread of the parent may have held it
        processo, self.processo = self.processo, None
        if processo is not None:
            processo.abandonar()


_ESTADOS: weakref.WeakSet[_Estado] = weakref.WeakSet()


def _no_filho() -> None:
    """In a child the host forked (a worker of a pre-forking server, multiprocessing): the
    running bridges are the parent's, and sharing them would mix the two processes' answers.
    Every Ponte lets go of its bridge and starts its own on its next call."""
    for estado in list(_ESTADOS):
        estado.no_filho()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_no_filho)


class Ponte:
    """A client of the acbr-ponte bridge.

    ``executavel``: the bridge's path (default: ``ACBR_PONTE`` from the environment, else
    ``acbr-ponte`` on PATH). ``acbr_dir``: the ``ACBR_DIR`` the bridge gets (default: the
    environment's). ``tempo_limite``: seconds per call before the bridge is killed (None: no
    limit). ``comandos_por_ponte``: a fresh bridge replaces the one that served this many
    commands (0: never).

    The bridge starts on the first call, with the environment as it is then, and so does every
    later one. Calls from several threads are served one at a time.
    """

    def __init__(
        self,
        executavel: Union[str, os.PathLike[str], None] = None,
        acbr_dir: Union[str, os.PathLike[str], None] = None,
        tempo_limite: Optional[float] = 30.0,
        comandos_por_ponte: int = 1000,
    ) -> None:
        if tempo_limite is not None and not (tempo_limite > 0 and math.isfinite(tempo_limite)):
            raise ValueError(f"tempo_limite deve ser positivo ou None: {tempo_limite!r}")
        if isinstance(comandos_por_ponte, bool) or not isinstance(comandos_por_ponte, int) or comandos_por_ponte < 0:
            raise ValueError(f"comandos_por_ponte deve ser um inteiro >= 0: {comandos_por_ponte!r}")
        self.executavel = _executavel(executavel)
        self.acbr_dir = None if acbr_dir is None else os.fspath(acbr_dir)
        self.tempo_limite = tempo_limite
        self.comandos_por_ponte = comandos_por_ponte
        self._fechada = False
        self._estado = _Estado()
        self._finalizador = weakref.finalize(self, self._estado.encerrar)

    @property
    def pid(self) -> Optional[int]:
        """The process id of the running bridge, or None when none is running."""
        processo = self._estado.processo
        return None if processo is None else processo.pid

    def versao(self) -> Versao:
        """The library's name and version. Raises ErroDaPonte with the bridge's text."""
        resposta = self._trocar(_LINHA_VERSAO)
        if resposta["ok"] is not True:
            erro = resposta.get("erro")
            if not isinstance(erro, str):
                raise RespostaInvalida(json.dumps(resposta).encode())
            raise ErroDaPonte(erro)
        nome, versao = resposta.get("nome"), resposta.get("versao")
        if not (nome is None or isinstance(nome, str)) or not (versao is None or isinstance(versao, str)):
            raise RespostaInvalida(json.dumps(resposta).encode())
        return Versao(nome, versao)

    def enviar(self, comando: object) -> Dict[str, Any]:
        """Sends one command and returns the decoded answer object, failures included.

        A ``str`` is sent as it is, as one line of text; any other value is sent as compact
        JSON. Blank commands, line feeds, lone surrogates and values JSON cannot represent
        (NaN, circular references) raise ComandoRecusado before anything is written; values
        of types JSON does not know raise TypeError.
        """
        return self._trocar(_linha(comando))

    def fechar(self) -> None:
        """Waits for a call in progress, closes the bridge's input, gives it a moment to exit,
        then kills it. Later calls raise PonteFechada. Closing twice is harmless."""
        self._fechada = True
        with self._estado.chamadas:
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

    def _trocar(self, linha: bytes) -> Dict[str, Any]:
        with self._estado.chamadas:
            if self._fechada:
                raise PonteFechada("a Ponte foi fechada")
            processo = self._pronto()
            try:
                return _resposta(processo.trocar(linha, self.tempo_limite))
            except BaseException:
                # Failed, or interrupted (KeyboardInterrupt...) with an answer still to come
                # that would be taken for the next call's: this bridge is done.
                self._estado.processo = None
                processo.matar()
                raise

    def _pronto(self) -> Processo:
        processo = self._estado.processo
        if processo is not None:
            gasta = 0 < self.comandos_por_ponte <= processo.comandos
            if not processo.ociosa():
                self._estado.processo = None
                processo.matar()
            elif gasta:
                self._estado.processo = None
                processo.encerrar(_ESPERA_AO_FECHAR)
            else:
                return processo
        ambiente = None
        if self.acbr_dir is not None:
            ambiente = dict(os.environ)
            ambiente["ACBR_DIR"] = self.acbr_dir
        processo = Processo(self.executavel, ambiente)
        self._estado.processo = processo
        return processo


def _executavel(executavel: Union[str, os.PathLike[str], None]) -> str:
    if executavel is None:
        executavel = os.environ.get("ACBR_PONTE") or None
    if executavel is None:
        achado = shutil.which(NOME_DO_EXECUTAVEL)  # PATHEXT gives the .exe on Windows
        if achado is None:
            raise FileNotFoundError(
                errno.ENOENT,
                f"{NOME_DO_EXECUTAVEL} não encontrado: defina ACBR_PONTE ou ponha-o no PATH",
                NOME_DO_EXECUTAVEL,
            )
        return achado
    caminho = os.fspath(executavel)
    if os.name == "nt" and not os.path.exists(caminho) and os.path.exists(caminho + ".exe"):
        caminho += ".exe"
    return caminho


def _linha(comando: object) -> bytes:
    if isinstance(comando, str):
        texto = comando
    else:
        try:
            texto = json.dumps(comando, ensure_ascii=False, separators=(",", ":"), allow_nan=False)
        except ValueError as erro:  # NaN, infinities, circular references
            raise ComandoRecusado(f"o comando não é representável em JSON: {erro}") from erro
    if "\n" in texto:
        raise ComandoRecusado("o comando tem uma quebra de linha: a ponte o leria como duas linhas")
    if not texto.strip(_BRANCOS):
        raise ComandoRecusado("comando em branco: a ponte não responde a linhas em branco")
    try:
        return texto.encode("utf-8") + b"\n"
    except UnicodeEncodeError as erro:
        # A line that is not UTF-8 would end the bridge without an answer.
        raise ComandoRecusado(f"o comando não é UTF-8 válido: {erro}") from erro


def _resposta(linha: bytes) -> Dict[str, Any]:
    try:
        valor = json.loads(linha.decode("utf-8"))
    except ValueError as erro:  # UnicodeDecodeError is one too
        raise RespostaInvalida(linha) from erro
    if not isinstance(valor, dict) or not isinstance(valor.get("ok"), bool):
        raise RespostaInvalida(linha)
    return valor
