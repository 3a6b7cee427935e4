"""The errors a Ponte raises, all under one base class."""

from __future__ import annotations

import signal
from typing import Optional


class ErroAcbrPonte(Exception):
    """Base class of every error this package raises on its own."""


class ErroDaPonte(ErroAcbrPonte):
    """The bridge answered ``{"ok":false,"erro":...}``; ``erro`` is that text, exactly."""

    def __init__(self, erro: str) -> None:
        super().__init__(erro)
        self.erro = erro


class ComandoRecusado(ErroAcbrPonte, ValueError):
    """A command that cannot be sent as one line (blank, holding a line feed, not UTF-8, not
    JSON); it is refused before anything is written, so the bridge is not touched."""


class PonteFechada(ErroAcbrPonte):
    """A call on a Ponte that was closed."""


class TempoEsgotado(ErroAcbrPonte):
    """The bridge did not answer within the time limit; its process was killed and the next
    call starts a fresh one. ``stderr`` is the tail of what it wrote to standard error."""

    def __init__(self, tempo_limite: float, stderr: str) -> None:
        super().__init__(
            f"a ponte não respondeu em {tempo_limite:g} s e foi encerrada" + _rabo(stderr)
        )
        self.tempo_limite = tempo_limite
        self.stderr = stderr


class PonteEncerrada(ErroAcbrPonte):
    """The bridge ended during the call, without answering. ``status`` is its exit status, or
    ``sinal`` the signal that ended it (POSIX: a ``signal.Signals`` when Python knows it, so
    ``sinal == signal.SIGSEGV`` and ``sinal.name`` work); the other one is None. ``stderr`` is
    the tail of what it wrote to standard error (where a Free Pascal runtime reports an
    unhandled exception). The call is not retried; the next call starts a fresh bridge."""

    def __init__(self, status: Optional[int], sinal: Optional[int], stderr: str) -> None:
        if sinal is not None:
            sinal = _conhecido(sinal)
            nome = f" ({sinal.name})" if isinstance(sinal, signal.Signals) else ""
            motivo = f"pelo sinal {int(sinal)}{nome}"
        else:
            motivo = f"com o status {status}"
        super().__init__(f"a ponte encerrou {motivo} sem responder" + _rabo(stderr))
        self.status = status
        self.sinal = sinal
        self.stderr = stderr


class RespostaInvalida(ErroAcbrPonte):
    """The bridge's answer line was not a JSON object (something else wrote to its output):
    the bridge was discarded, since later answers could not be trusted to match."""

    def __init__(self, linha: bytes) -> None:
        super().__init__(f"resposta inválida da ponte: {linha[:200]!r}")
        self.linha = linha


def _conhecido(sinal: int) -> int:
    try:
        return signal.Signals(sinal)
    except ValueError:
        return sinal


def _rabo(stderr: str) -> str:
    """The end of standard error, for the message (the attribute keeps the whole tail)."""
    texto = stderr.strip()
    if not texto:
        return ""
    if len(texto) > 1000:
        texto = "..." + texto[-1000:]
    return "\nstderr:\n" + texto
