"""The package as built: the pure wheel and the sdist that tools/testar-cliente-python.sh made
(ACBR_PONTE_RODA, ACBR_PONTE_SDIST), the platform wheels with the bridge inside
(ACBR_PONTE_RODAS, a folder of them), and the build backend's reading of pyproject.toml and of
the glibc versions an executable needs."""

from __future__ import annotations

import base64
import csv
import hashlib
import importlib.metadata
import importlib.util
import io
import os
import sys
import tarfile
import tempfile
import unittest
import zipfile
from types import ModuleType

import acbr_ponte

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RODA = os.environ.get("ACBR_PONTE_RODA", "")
SDIST = os.environ.get("ACBR_PONTE_SDIST", "")
VERSAO = acbr_ponte.__version__
INFO = f"acbr_ponte-{VERSAO}.dist-info"
RODAS = os.environ.get("ACBR_PONTE_RODAS", "")
MODULOS = sorted(nome for nome in os.listdir(os.path.join(RAIZ, "src", "acbr_ponte"))
                 if nome.endswith(".py") or nome == "py.typed")


def _construtor(raiz: str) -> ModuleType:
    """The build backend of the tree at ``raiz``, loaded under a name of its own."""
    especificacao = importlib.util.spec_from_file_location(
        f"construtor_{abs(hash(raiz))}", os.path.join(raiz, "_construcao", "construtor.py"))
    assert especificacao is not None and especificacao.loader is not None
    modulo = importlib.util.module_from_spec(especificacao)
    especificacao.loader.exec_module(modulo)
    return modulo


class Construcao(unittest.TestCase):
    def test_versoes_da_glibc_de_um_executavel(self) -> None:
        construtor = _construtor(RAIZ)
        with open(sys.executable, "rb") as arquivo:
            dados = arquivo.read()
        if dados[:4] != b"\x7fELF":
            self.skipTest("the interpreter is not an ELF file")
        versoes = construtor.versoes_da_glibc(dados)
        self.assertTrue(versoes and all(v >= (2, 0) for v in versoes), versoes)
        with self.assertRaises(ValueError):
            construtor.versoes_da_glibc(b"MZ not an ELF file")

    @unittest.skipIf(sys.version_info < (3, 11), "tomllib, to compare with, came in Python 3.11")
    def test_leitor_simples_de_toml_le_o_pyproject_como_o_tomllib(self) -> None:
        with open(os.path.join(RAIZ, "pyproject.toml"), encoding="utf-8") as arquivo:
            texto = arquivo.read()
        construtor = _construtor(RAIZ)
        self.assertEqual(construtor.ler_toml_simples(texto), construtor.ler_toml(texto))

    @unittest.skipUnless(RODA, "ACBR_PONTE_RODA names no wheel")
    def test_roda(self) -> None:
        self.assertEqual(os.path.basename(RODA), f"acbr_ponte-{VERSAO}-py3-none-any.whl")
        with zipfile.ZipFile(RODA) as roda:
            nomes = roda.namelist()
            self.assertEqual(sorted(nomes), sorted([f"acbr_ponte/{nome}" for nome in MODULOS]
                                                   + [f"{INFO}/{nome}" for nome in ["METADATA", "WHEEL", "RECORD"]]))
            registro = list(csv.reader(io.StringIO(roda.read(f"{INFO}/RECORD").decode())))
            self.assertEqual(sorted(linha[0] for linha in registro), sorted(nomes))
            for nome, resumo, tamanho in registro:
                if nome == f"{INFO}/RECORD":
                    self.assertEqual((resumo, tamanho), ("", ""))
                    continue
                dados = roda.read(nome)
                esperado = base64.urlsafe_b64encode(hashlib.sha256(dados).digest()).rstrip(b"=").decode()
                self.assertEqual((resumo, int(tamanho)), (f"sha256={esperado}", len(dados)), nome)
            metadados = roda.read(f"{INFO}/METADATA").decode()
            for campo in ["Metadata-Version: 2.1", "Name: acbr-ponte", f"Version: {VERSAO}", "Requires-Python: >=3.9"]:
                self.assertIn(campo + "\n", metadados)
            self.assertIn("Tag: py3-none-any\n", roda.read(f"{INFO}/WHEEL").decode())
            # What the tests import is what the wheel holds.
            instalado = os.path.dirname(acbr_ponte.__file__)
            for nome in MODULOS:
                with open(os.path.join(instalado, nome), "rb") as arquivo:
                    self.assertEqual(arquivo.read(), roda.read(f"acbr_ponte/{nome}"), nome)
        self.assertEqual(importlib.metadata.version("acbr-ponte"), VERSAO)

    @unittest.skipUnless(RODAS, "ACBR_PONTE_RODAS names no folder of platform wheels")
    def test_rodas_de_plataforma(self) -> None:
        construtor = _construtor(RAIZ)
        achadas = sorted(nome for nome in os.listdir(RODAS) if nome.endswith(".whl"))
        self.assertTrue(achadas)
        for nome in achadas:
            with self.subTest(roda=nome), zipfile.ZipFile(os.path.join(RODAS, nome)) as roda:
                etiqueta = nome[len(f"acbr_ponte-{VERSAO}-py3-none-"):-len(".whl")]
                self.assertIn(f"Tag: py3-none-{etiqueta}\n", roda.read(f"{INFO}/WHEEL").decode())
                self.assertIn("Root-Is-Purelib: false\n", roda.read(f"{INFO}/WHEEL").decode())
                binarios = sorted(n for n in roda.namelist() if n.startswith("acbr_ponte/bin/") and not n.endswith(".sha256"))
                if etiqueta.startswith("manylinux_"):
                    # The tag is the highest glibc version the binaries need, read from them.
                    versoes = [v for b in binarios for v in construtor.versoes_da_glibc(roda.read(b))]
                    self.assertEqual(etiqueta.split("_")[1:3], [str(n) for n in max(versoes)])
                for binario in binarios:
                    info = roda.getinfo(binario)
                    self.assertEqual(info.external_attr >> 16, 0o100755, binario)
                    resumo = roda.read(binario.rsplit("/", 1)[0] + "/acbr-ponte.sha256").decode()
                    self.assertEqual(resumo, f"{hashlib.sha256(roda.read(binario)).hexdigest()}  {binario.rsplit('/', 1)[1]}\n")
                esperadas = {"x86_64": ["linux-x64", "linux-x86"], "i686": ["linux-x86"],
                             "win_amd64": ["win-x64", "win-x86"], "win32": ["win-x86"]}
                plataforma = etiqueta.split("_", 3)[3] if etiqueta.startswith("manylinux_") else etiqueta
                self.assertEqual(sorted({b.split("/")[2] for b in binarios}), esperadas[plataforma])

    @unittest.skipUnless(RODA and SDIST, "ACBR_PONTE_RODA and ACBR_PONTE_SDIST name no packages")
    def test_sdist_constroi_a_mesma_roda(self) -> None:
        with tempfile.TemporaryDirectory() as temporario:
            with tarfile.open(SDIST) as sdist:
                nomes = sdist.getnames()
                for nome in ["PKG-INFO", "pyproject.toml", "README.md", "_construcao/construtor.py",
                             "tests/test_casos.py", "exemplos/sessao.py", "casos/casos.json", "casos/pontes/lixo.sh"]:
                    self.assertIn(f"acbr_ponte-{VERSAO}/{nome}", nomes)
                self.assertTrue(all(nome.startswith(f"acbr_ponte-{VERSAO}/") for nome in nomes))
                if hasattr(tarfile, "data_filter"):  # Pythons that warn without a filter
                    getattr(sdist, "extractall")(temporario, filter="data")
                else:
                    sdist.extractall(temporario)
            raiz = os.path.join(temporario, f"acbr_ponte-{VERSAO}")
            nome = _construtor(raiz).build_wheel(temporario)
            with open(os.path.join(temporario, nome), "rb") as refeita, open(RODA, "rb") as roda:
                self.assertEqual(refeita.read(), roda.read(), "the wheel is reproducible, also from the sdist")


if __name__ == "__main__":
    unittest.main()
