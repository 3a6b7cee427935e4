"""The running bridge, in the form the system allows: poll() on POSIX, threads on Windows."""

from __future__ import annotations

import os

if os.name == "nt":
    from ._processo_windows import Processo
else:
    from ._processo_posix import Processo  # type: ignore[assignment]

__all__ = ["Processo"]
