"""Commands into lines and lines into answers: what is refused before anything is written, and
what is not an answer."""

from __future__ import annotations

import json
from typing import Any, Dict

from ._erros import ComandoRecusado, RespostaInvalida
from ._espaco_branco import ESPACO_BRANCO


def linha_do_comando(comando: object) -> bytes:
    """The line for ``comando``, line feed included: a ``str`` as it is, any other value as
    compact JSON. Raises ComandoRecusado for what the bridge would answer never (a blank line),
    more than once (a line feed inside) or could not read (not UTF-8)."""
    if isinstance(comando, str):
        texto = comando
    else:
        try:
            texto = json.dumps(comando, ensure_ascii=False, separators=(",", ":"), allow_nan=False)
        except (TypeError, ValueError) as erro:  # unknown types, NaN, infinities, cycles
            raise ComandoRecusado(f"o comando não tem forma JSON: {erro}") from erro
    if "\n" in texto:
        raise ComandoRecusado("o comando tem uma quebra de linha: a ponte o leria como mais de uma linha")
    if not texto.strip(ESPACO_BRANCO):
        raise ComandoRecusado("comando em branco: a ponte não responde a linhas em branco")
    try:
        return texto.encode("utf-8") + b"\n"
    except UnicodeEncodeError as erro:  # a lone surrogate
        raise ComandoRecusado("o comando não é UTF-8 válido") from erro


def ler_resposta(linha: bytes) -> Dict[str, Any]:
    """The answer object of a line (line feed included), or RespostaInvalida."""
    try:
        valor = json.loads(linha)
    except ValueError:  # UnicodeDecodeError is one too
        valor = None
    if not isinstance(valor, dict) or not isinstance(valor.get("ok"), bool):
        raise RespostaInvalida(linha.rstrip(b"\n").decode("utf-8", "replace"))
    return valor
