"""Client of acbr-ponte, the companion process that reaches ACBrLib NFe.

    from acbr_ponte import Ponte

    with Ponte() as ponte:
        print(ponte.versao())

The bridge starts on the first call, is killed past the time limit, comes back on the next call
after a crash or a hang, and is replaced every so many commands. The bridge this package carries
for the platform (platform wheels) runs from a copy in a per-user folder, where the library keeps
its configuration file.
"""

from __future__ import annotations

from ._erros import (
    ComandoRecusado,
    ErroAcbrPonte,
    ErroDaPonte,
    LocalInseguro,
    PonteEncerrada,
    PonteFechada,
    PonteNaoIniciada,
    RespostaInvalida,
    TempoEsgotado,
)
from ._ponte import Ponte, Versao

__version__ = "0.1.0"

__all__ = [
    "ComandoRecusado",
    "ErroAcbrPonte",
    "ErroDaPonte",
    "LocalInseguro",
    "Ponte",
    "PonteEncerrada",
    "PonteFechada",
    "PonteNaoIniciada",
    "RespostaInvalida",
    "TempoEsgotado",
    "Versao",
]
