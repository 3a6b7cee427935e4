"""The package's build backend (PEP 517, and PEP 660 for editable installs).

It uses only the standard library, so that `pip install` works offline with any Python 3.9+,
whether or not setuptools and wheel are installed. It builds a pure-Python wheel of src/ and an
sdist, both byte-for-byte reproducible (fixed times, sorted entries, fixed modes;
SOURCE_DATE_EPOCH moves the time).
"""

from __future__ import annotations

import base64
import gzip
import hashlib
import io
import json
import os
import re
import sys
import tarfile
import time
import zipfile
from typing import Any, Dict, List, Optional, Tuple

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACOTE = "acbr_ponte"
# What the sdist carries besides PKG-INFO: enough to build the wheel and run the tests.
_DO_SDIST = ["pyproject.toml", "README.md", "_construcao", "exemplos", "src", "tests"]
_EPOCA_ZIP = 315532800  # 1980-01-01, the earliest time a zip entry can hold


def get_requires_for_build_wheel(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_editable(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def build_wheel(
    wheel_directory: str,
    config_settings: Optional[Dict[str, Any]] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    arquivos = [(os.path.relpath(caminho, os.path.join(RAIZ, "src")).replace(os.sep, "/"), _ler(caminho))
                for caminho in _arquivos(os.path.join(RAIZ, "src", PACOTE))]
    return _wheel(wheel_directory, arquivos)


def build_editable(
    wheel_directory: str,
    config_settings: Optional[Dict[str, Any]] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    # A .pth line puts src/ on sys.path: src/ holds nothing but the package.
    pth = (os.path.join(RAIZ, "src") + "\n").encode()
    return _wheel(wheel_directory, [(f"__editable__.{PACOTE}.pth", pth)])


def build_sdist(sdist_directory: str, config_settings: Optional[Dict[str, Any]] = None) -> str:
    metadados = metadados_do_projeto()
    base = f"{PACOTE}-{metadados['version']}"
    entradas: List[Tuple[str, bytes]] = [(f"{base}/PKG-INFO", _metadata(metadados))]
    for item in _DO_SDIST:
        caminho = os.path.join(RAIZ, item)
        for arquivo in _arquivos(caminho) if os.path.isdir(caminho) else [caminho]:
            relativo = os.path.relpath(arquivo, RAIZ).replace(os.sep, "/")
            entradas.append((f"{base}/{relativo}", _ler(arquivo)))
    arquivo_tar = io.BytesIO()
    with tarfile.open(fileobj=arquivo_tar, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for nome, dados in sorted(entradas):
            info = tarfile.TarInfo(nome)
            info.size = len(dados)
            info.mtime = _epoca()
            info.mode = 0o644
            tar.addfile(info, io.BytesIO(dados))
    nome = f"{base}.tar.gz"
    with open(os.path.join(sdist_directory, nome), "wb") as saida:
        saida.write(gzip.compress(arquivo_tar.getvalue(), mtime=_epoca()))
    return nome


def metadados_do_projeto() -> Dict[str, Any]:
    """pyproject.toml's [project] table, with the version taken from the package."""
    with open(os.path.join(RAIZ, "pyproject.toml"), encoding="utf-8") as arquivo:
        projeto = dict(ler_toml(arquivo.read())["project"])
    with open(os.path.join(RAIZ, "src", PACOTE, "__init__.py"), encoding="utf-8") as arquivo:
        achado = re.search(r'^__version__ = "([^"]+)"$', arquivo.read(), re.MULTILINE)
    if achado is None:
        raise RuntimeError(f"src/{PACOTE}/__init__.py has no __version__")
    projeto["version"] = achado.group(1)
    return projeto


def ler_toml(texto: str) -> Dict[str, Any]:
    if sys.version_info >= (3, 11):
        import tomllib

        return tomllib.loads(texto)
    return ler_toml_simples(texto)


def ler_toml_simples(texto: str) -> Dict[str, Any]:
    """The TOML this project's pyproject.toml uses, for Pythons before tomllib: [tables],
    whole-line comments, and keys whose values are basic strings or arrays of them (which may
    span lines). The tests compare it with tomllib on the real file."""
    resultado: Dict[str, Any] = {}
    tabela = resultado
    pendente = ""
    for linha in texto.splitlines():
        linha = linha.strip()
        if not pendente and (not linha or linha.startswith("#")):
            continue
        if not pendente and linha.startswith("["):
            tabela = resultado
            for parte in linha.strip("[]").split("."):
                tabela = tabela.setdefault(parte.strip(), {})
            continue
        pendente += linha
        chave, _, valor = pendente.partition("=")
        if valor.count("[") > valor.count("]"):
            continue  # an array that goes on in the next line
        pendente = ""
        tabela[chave.strip()] = json.loads(re.sub(r",\s*\]", "]", valor.strip()))
    return resultado


def _wheel(diretorio: str, arquivos: List[Tuple[str, bytes]]) -> str:
    metadados = metadados_do_projeto()
    versao = metadados["version"]
    info = f"{PACOTE}-{versao}.dist-info"
    roda = b"Wheel-Version: 1.0\nGenerator: acbr-ponte construtor\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    entradas = sorted(arquivos) + [(f"{info}/METADATA", _metadata(metadados)), (f"{info}/WHEEL", roda)]
    registro = "".join(f"{nome},sha256={_resumo(dados)},{len(dados)}\n" for nome, dados in entradas)
    entradas.append((f"{info}/RECORD", (registro + f"{info}/RECORD,,\n").encode()))
    nome = f"{PACOTE}-{versao}-py3-none-any.whl"
    momento = _momento_zip()
    with zipfile.ZipFile(os.path.join(diretorio, nome), "w", zipfile.ZIP_DEFLATED) as saida:
        for caminho, dados in entradas:
            entrada = zipfile.ZipInfo(caminho, momento)
            entrada.external_attr = 0o100644 << 16
            entrada.compress_type = zipfile.ZIP_DEFLATED
            saida.writestr(entrada, dados)
    return nome


def _metadata(projeto: Dict[str, Any]) -> bytes:
    linhas = [
        "Metadata-Version: 2.1",
        f"Name: {projeto['name']}",
        f"Version: {projeto['version']}",
        f"Summary: {projeto['description']}",
        f"Requires-Python: {projeto['requires-python']}",
        f"Keywords: {','.join(projeto.get('keywords', []))}",
    ]
    linhas += [f"Classifier: {classificador}" for classificador in projeto.get("classifiers", [])]
    linhas.append("Description-Content-Type: text/markdown")
    leiame = _ler(os.path.join(RAIZ, projeto["readme"])).decode("utf-8")
    return ("\n".join(linhas) + "\n\n" + leiame).encode("utf-8")


def _arquivos(diretorio: str) -> List[str]:
    achados = []
    for raiz, subdiretorios, nomes in os.walk(diretorio):
        subdiretorios[:] = sorted(d for d in subdiretorios if d != "__pycache__" and not d.startswith("."))
        achados += [os.path.join(raiz, nome) for nome in nomes if not nome.endswith(".pyc") and nome[0] != "."]
    return sorted(achados)


def _ler(caminho: str) -> bytes:
    with open(caminho, "rb") as arquivo:
        return arquivo.read()


def _resumo(dados: bytes) -> str:
    return base64.urlsafe_b64encode(hashlib.sha256(dados).digest()).rstrip(b"=").decode()


def _epoca() -> int:
    return max(_EPOCA_ZIP, int(os.environ.get("SOURCE_DATE_EPOCH", _EPOCA_ZIP)))


def _momento_zip() -> Tuple[int, int, int, int, int, int]:
    t = time.gmtime(_epoca())
    return (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)
