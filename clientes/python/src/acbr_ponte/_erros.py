"""The errors a Ponte raises, all under one base class, with the messages every client shares."""

from __future__ import annotations

import signal
from typing import Optional, Union

from ._espaco_branco import ESPACO_BRANCO

# The stderr tail goes into a message up to this many bytes of UTF-8 (the attribute keeps it all).
_SUFIXO_MAXIMO = 1000


class ErroAcbrPonte(Exception):
    """Base class of every error this package raises about the bridge."""


class ErroDaPonte(ErroAcbrPonte):
    """The bridge answered ``{"ok":false,"erro":...}``; ``erro`` is that text, exactly."""

    def __init__(self, erro: str) -> None:
        super().__init__(erro)
        self.erro = erro


class TempoEsgotado(ErroAcbrPonte):
    """No answer within the time limit: the bridge was killed, and the next call starts a fresh
    one. ``tempo_limite`` is the limit in seconds, ``stderr`` the tail of its standard error."""

    def __init__(self, tempo_limite: float, stderr: str) -> None:
        super().__init__(f"a ponte não respondeu em {round(tempo_limite * 1000)} ms e foi encerrada" + _sufixo(stderr))
        self.tempo_limite = tempo_limite
        self.stderr = stderr


class PonteEncerrada(ErroAcbrPonte):
    """The bridge ended during the call, without answering. ``status`` is its exit status, or
    ``sinal`` the signal that ended it (a ``signal.Signals`` when Python knows it, so
    ``sinal == signal.SIGSEGV`` and ``sinal.name`` work); the other one is None. ``stderr`` is
    the tail of its standard error, where a Free Pascal runtime reports an unhandled exception.
    The call is not retried; the next call starts a fresh bridge."""

    def __init__(self, status: Optional[int], sinal: Optional[int], stderr: str) -> None:
        conhecido: Union[signal.Signals, int, None] = None
        if sinal is not None:
            conhecido = _conhecido(sinal)
            nome = f" ({conhecido.name})" if isinstance(conhecido, signal.Signals) else ""
            motivo = f"pelo sinal {sinal}{nome}"
        else:
            motivo = f"com o status {status}"
        super().__init__(f"a ponte encerrou {motivo} sem responder" + _sufixo(stderr))
        self.status = status
        self.sinal = conhecido
        self.stderr = stderr


class RespostaInvalida(ErroAcbrPonte):
    """The answer was not what the protocol says (not a JSON object with a boolean ``ok``):
    something else wrote to the bridge's output, so later answers could not be trusted to match
    their calls. The bridge was discarded. ``linha`` is the line, without its line feed."""

    def __init__(self, linha: str) -> None:
        cortada = linha if len(linha) <= 200 else linha[:200] + "..."
        super().__init__(f"resposta inválida da ponte: {cortada}")
        self.linha = linha


class ComandoRecusado(ErroAcbrPonte, ValueError):
    """A command that cannot be sent as one line (blank, holding a line feed, not UTF-8, with no
    JSON form); it is refused before anything is written, so the bridge is not touched."""


class PonteFechada(ErroAcbrPonte):
    """A call on a Ponte that was closed."""

    def __init__(self) -> None:
        super().__init__("a Ponte foi fechada")


class PonteNaoIniciada(ErroAcbrPonte):
    """No bridge was found, or it could not be started. ``executavel`` is the path that was tried
    (None when none was found); the system's error, if any, is the ``__cause__``."""

    def __init__(self, mensagem: str, executavel: Optional[str] = None) -> None:
        super().__init__(mensagem)
        self.executavel = executavel


class LocalInseguro(PonteNaoIniciada):
    """The folder the bridge from the package runs from, or its copy there, could be changed by
    someone else (or was): nothing was run. ``caminho`` names it, ``motivo`` says what is wrong."""

    def __init__(self, caminho: str, motivo: str) -> None:
        super().__init__(f"local inseguro para a ponte: {caminho}: {motivo}", None)
        self.caminho = caminho
        self.motivo = motivo


def _conhecido(sinal: int) -> Union[signal.Signals, int]:
    try:
        return signal.Signals(sinal)
    except ValueError:
        return sinal


def _sufixo(stderr: str) -> str:
    """The end of standard error, for a message: at most its last 1000 bytes."""
    texto = stderr.strip(ESPACO_BRANCO)
    if not texto:
        return ""
    dados = texto.encode("utf-8", "surrogatepass")
    if len(dados) > _SUFIXO_MAXIMO:
        fim = dados[-_SUFIXO_MAXIMO:]
        inicio = 0
        while inicio < len(fim) and 0x80 <= fim[inicio] <= 0xBF:  # a whole character first
            inicio += 1
        texto = "..." + fim[inicio:].decode("utf-8", "replace")
    return "\nstderr:\n" + texto
