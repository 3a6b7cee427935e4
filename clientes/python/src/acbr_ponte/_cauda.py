"""The last bytes of the bridge's standard error, in bounded memory."""

from __future__ import annotations

TAMANHO_DA_CAUDA = 8192
"""Bytes of standard error kept from each bridge (the end of it)."""


class Cauda:
    def __init__(self, limite: int = TAMANHO_DA_CAUDA) -> None:
        self._limite = limite
        self._dados = bytearray()
        self._cortada = False

    def acrescentar(self, dados: bytes) -> None:
        self._dados += dados
        # Cut only past twice the limit: the cost per byte stays constant.
        if len(self._dados) > 2 * self._limite:
            del self._dados[: len(self._dados) - self._limite]
            self._cortada = True

    def texto(self) -> str:
        """The kept bytes as text, from a whole UTF-8 character on."""
        dados = bytes(self._dados[-self._limite :])
        if self._cortada or len(self._dados) > self._limite:
            inicio = 0
            while inicio < min(3, len(dados)) and 0x80 <= dados[inicio] <= 0xBF:
                inicio += 1
            dados = dados[inicio:]
        return dados.decode("utf-8", "replace")
