"""The package's build backend (PEP 517, and PEP 660 for editable installs).

It uses only the standard library, so that `pip install` works offline with any Python 3.9+,
whether or not setuptools and wheel are installed. It builds a pure-Python wheel of src/, an
sdist, and platform wheels that carry the release bridge: given the config settings
`plataforma` (linux-x64, linux-x86, win-x64 or win-x86) and `binarios` (a folder holding
<key>/acbr-ponte or <key>/acbr-ponte.exe for each key), the wheel carries the bridge of that key
and, for a 64-bit platform, the 32-bit one of the same system, under acbr_ponte/bin/<key>/ with
its sha256, and is tagged with what the binaries really need: for Linux the manylinux tag of the
highest glibc symbol version they use. Every archive is byte-for-byte reproducible (fixed times,
sorted entries, fixed modes; SOURCE_DATE_EPOCH moves the time).

    pip wheel ./clientes/python -C plataforma=linux-x64 -C binarios=DIR
"""

from __future__ import annotations

import base64
import gzip
import hashlib
import io
import json
import os
import re
import struct
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
    arquivos = [(os.path.relpath(caminho, os.path.join(RAIZ, "src")).replace(os.sep, "/"), _ler(caminho), False)
                for caminho in _arquivos(os.path.join(RAIZ, "src", PACOTE))
                if not os.path.relpath(caminho, os.path.join(RAIZ, "src", PACOTE)).startswith("bin" + os.sep)]
    config = config_settings or {}
    plataforma, binarios = config.get("plataforma"), config.get("binarios")
    if plataforma is None and binarios is None:
        return _wheel(wheel_directory, arquivos, "any")
    if plataforma not in _CHAVES or not binarios:
        raise ValueError(f"a platform wheel needs plataforma (one of {', '.join(_CHAVES)}) and binarios: {config}")
    executaveis = []
    for chave in _CHAVES[plataforma]:
        nome = "acbr-ponte.exe" if chave.startswith("win-") else "acbr-ponte"
        dados = _ler(os.path.join(binarios, chave, nome))
        resumo = hashlib.sha256(dados).hexdigest()
        arquivos.append((f"{PACOTE}/bin/{chave}/{nome}", dados, True))
        arquivos.append((f"{PACOTE}/bin/{chave}/acbr-ponte.sha256", f"{resumo}  {nome}\n".encode(), False))
        executaveis.append(dados)
    return _wheel(wheel_directory, arquivos, etiqueta_da_plataforma(plataforma, executaveis))


# The bridges a platform wheel carries: a 64-bit one carries the 32-bit bridge of its system too.
_CHAVES = {
    "linux-x64": ["linux-x64", "linux-x86"],
    "linux-x86": ["linux-x86"],
    "win-x64": ["win-x64", "win-x86"],
    "win-x86": ["win-x86"],
}
_ARQUITETURA_MANYLINUX = {"linux-x64": "x86_64", "linux-x86": "i686"}


def etiqueta_da_plataforma(plataforma: str, executaveis: List[bytes]) -> str:
    """The wheel's platform tag: win_amd64 / win32, or manylinux_X_Y_<arch> for the highest
    GLIBC_X.Y symbol version any of the ELF executables needs."""
    if plataforma == "win-x64":
        return "win_amd64"
    if plataforma == "win-x86":
        return "win32"
    versoes = [versao for dados in executaveis for versao in versoes_da_glibc(dados)]
    if not versoes:
        raise ValueError("no GLIBC_ symbol version in the executables: not a glibc program")
    maior = max(versoes)
    return f"manylinux_{maior[0]}_{maior[1]}_{_ARQUITETURA_MANYLINUX[plataforma]}"


def versoes_da_glibc(dados: bytes) -> List[Tuple[int, int]]:
    """The GLIBC_X.Y versions an ELF file's symbol version needs (.gnu.version_r) name."""
    if dados[:4] != b"\x7fELF":
        raise ValueError("not an ELF file")
    bits64 = dados[4] == 2
    ordem = "<" if dados[5] == 1 else ">"
    if bits64:
        shoff, = struct.unpack_from(ordem + "Q", dados, 0x28)
        shentsize, shnum = struct.unpack_from(ordem + "HH", dados, 0x3A)
    else:
        shoff, = struct.unpack_from(ordem + "I", dados, 0x20)
        shentsize, shnum = struct.unpack_from(ordem + "HH", dados, 0x2E)
    secoes = []
    for i in range(shnum):
        base = shoff + i * shentsize
        if bits64:
            _, tipo, _, _, offset, tamanho, link, info = struct.unpack_from(ordem + "IIQQQQII", dados, base)
        else:
            _, tipo, _, _, offset, tamanho, link, info = struct.unpack_from(ordem + "IIIIIIII", dados, base)
        secoes.append((tipo, offset, tamanho, link, info))
    versoes = []
    for tipo, offset, _, link, quantas in secoes:
        if tipo != 0x6FFFFFFE:  # SHT_GNU_verneed
            continue
        nomes = secoes[link][1]
        entrada = offset
        for _ in range(quantas):
            _, contagem, _, auxiliar, proxima = struct.unpack_from(ordem + "HHIII", dados, entrada)
            aux = entrada + auxiliar
            for _ in range(contagem):
                _, _, _, nome, seguinte = struct.unpack_from(ordem + "IHHII", dados, aux)
                texto = dados[nomes + nome : dados.index(b"\0", nomes + nome)].decode("ascii")
                achado = re.fullmatch(r"GLIBC_(\d+)\.(\d+)(?:\.\d+)?", texto)
                if achado:
                    versoes.append((int(achado.group(1)), int(achado.group(2))))
                aux += seguinte
            entrada += proxima
    return versoes


def build_editable(
    wheel_directory: str,
    config_settings: Optional[Dict[str, Any]] = None,
    metadata_directory: Optional[str] = None,
) -> str:
    # A .pth line puts src/ on sys.path: src/ holds nothing but the package.
    pth = (os.path.join(RAIZ, "src") + "\n").encode()
    return _wheel(wheel_directory, [(f"__editable__.{PACOTE}.pth", pth, False)], "any")


def build_sdist(sdist_directory: str, config_settings: Optional[Dict[str, Any]] = None) -> str:
    metadados = metadados_do_projeto()
    base = f"{PACOTE}-{metadados['version']}"
    entradas: List[Tuple[str, bytes, int]] = [(f"{base}/PKG-INFO", _metadata(metadados), 0o644)]
    for item in _DO_SDIST:
        caminho = os.path.join(RAIZ, item)
        for arquivo in _arquivos(caminho) if os.path.isdir(caminho) else [caminho]:
            relativo = os.path.relpath(arquivo, RAIZ).replace(os.sep, "/")
            entradas.append((f"{base}/{relativo}", _ler(arquivo), _modo(arquivo)))
    # The table of cases every client shares lives beside the clients; the sdist's tests need it.
    casos = os.path.join(os.path.dirname(RAIZ), "casos")
    for arquivo in _arquivos(casos) if os.path.isdir(casos) else []:
        relativo = os.path.relpath(arquivo, casos).replace(os.sep, "/")
        entradas.append((f"{base}/casos/{relativo}", _ler(arquivo), _modo(arquivo)))
    arquivo_tar = io.BytesIO()
    with tarfile.open(fileobj=arquivo_tar, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for nome, dados, modo in sorted(entradas):
            info = tarfile.TarInfo(nome)
            info.size = len(dados)
            info.mtime = _epoca()
            info.mode = modo
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


def _wheel(diretorio: str, arquivos: List[Tuple[str, bytes, bool]], plataforma: str) -> str:
    """Writes the wheel of ``arquivos`` (name, bytes, executable) for a platform tag."""
    metadados = metadados_do_projeto()
    versao = metadados["version"]
    info = f"{PACOTE}-{versao}.dist-info"
    etiqueta = f"py3-none-{plataforma}"
    pura = "true" if plataforma == "any" else "false"
    roda = f"Wheel-Version: 1.0\nGenerator: acbr-ponte construtor\nRoot-Is-Purelib: {pura}\nTag: {etiqueta}\n".encode()
    entradas = sorted(arquivos) + [(f"{info}/METADATA", _metadata(metadados), False), (f"{info}/WHEEL", roda, False)]
    registro = "".join(f"{nome},sha256={_resumo(dados)},{len(dados)}\n" for nome, dados, _ in entradas)
    entradas.append((f"{info}/RECORD", (registro + f"{info}/RECORD,,\n").encode(), False))
    nome = f"{PACOTE}-{versao}-{etiqueta}.whl"
    momento = _momento_zip()
    with zipfile.ZipFile(os.path.join(diretorio, nome), "w", zipfile.ZIP_DEFLATED) as saida:
        for caminho, dados, executavel in entradas:
            entrada = zipfile.ZipInfo(caminho, momento)
            entrada.external_attr = (0o100755 if executavel else 0o100644) << 16
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


def _modo(caminho: str) -> int:
    """0o755 for what the tree has executable (the simulated bridges), else 0o644."""
    return 0o755 if os.stat(caminho).st_mode & 0o111 else 0o644


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
