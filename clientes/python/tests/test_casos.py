"""The table of client cases every acbr-ponte client runs (clientes/casos/casos.json): each row,
with each of its stand-ins, is one test here."""

from __future__ import annotations

import hashlib
import json
import os
import re
import shutil
import signal
import stat
import struct
import tempfile
import threading
import time
import unittest
from typing import Any, Callable, Dict, List, Optional
from unittest import mock

import acbr_ponte
from acbr_ponte import _localizacao

from apoio import (
    BUILD,
    CASOS,
    FALSA_C,
    FALSA_PASCAL,
    LINUX,
    PONTE,
    PONTES_SIMULADAS,
    SEM_PASCAL,
    SEM_PONTE,
    VARIANTES,
    arquivo_da_biblioteca,
    definir,
    descritores,
    estado_do_processo,
    filhos,
    ha_pascal,
    ha_ponte,
)

with open(os.path.join(CASOS, "casos.json"), encoding="utf-8") as _arquivo:
    TABELA: Dict[str, Any] = json.load(_arquivo)
PADROES: Dict[str, Any] = TABELA["padroes"]

# Rows this client cannot run, with the reason. Python runs them all.
NAO_EXECUTAVEIS: Dict[str, str] = {}

OUTRO_USUARIO = 65534
_NOMES = ("ponte", "acbr_dir", "variantes", "arquivo_da_lib", "pasta", "dados", "pasta_da_ponte",
          "nome_da_copia", "nome_da_copia_x86")
_MARCADOR = re.compile(r"\{(" + "|".join(_NOMES) + r")\}")


def _substituir(valor: Any, nomes: Dict[str, str]) -> Any:
    if isinstance(valor, str):
        return _MARCADOR.sub(lambda achado: nomes.get(achado.group(1), achado.group(0)), valor)
    if isinstance(valor, list):
        return [_substituir(item, nomes) for item in valor]
    if isinstance(valor, dict):
        return {chave: _substituir(item, nomes) for chave, item in valor.items()}
    return valor


def _sha256(caminho: str) -> str:
    with open(caminho, "rb") as arquivo:
        return hashlib.sha256(arquivo.read()).hexdigest()


def _falta(exigencia: str) -> Optional[str]:
    """Why the machine does not meet a row's condition, or None when it does."""
    if exigencia == "linux":
        return None if LINUX else "needs Linux"
    if exigencia == "posix":
        return None if os.name == "posix" else "needs POSIX"
    if exigencia == "root":
        return None if os.name == "posix" and os.geteuid() == 0 else "needs root to give a file to another user"
    if exigencia == "x64":
        return None if _localizacao.chave_da_plataforma(None) in ("linux-x64", "win-x64") else "needs a 64-bit x86 host"
    if exigencia == "threads":
        return None
    raise AssertionError(f"unknown condition {exigencia}")


class _Linha:
    """One row of the table, run with one stand-in."""

    def __init__(self, teste: unittest.TestCase, caso: Dict[str, Any], falsa: str) -> None:
        self.teste = teste
        self.caso = caso
        self.falsa = falsa
        self.pasta = tempfile.mkdtemp(prefix="acbr-ponte-caso-")
        teste.addCleanup(self._apagar, self.pasta)
        self.dados = os.path.join(self.pasta, "dados")
        os.mkdir(self.dados)
        self.ambiente_original: Dict[str, Optional[str]] = {}
        teste.addCleanup(self._restaurar_ambiente)
        self.pids: List[Optional[int]] = []

    # --- setting up
    def acbr_dir(self) -> str:
        if self.falsa == "c":
            return FALSA_C
        if self.falsa == "pascal":
            if not ha_pascal():
                self.teste.skipTest(SEM_PASCAL)
            return FALSA_PASCAL
        if self.falsa.startswith("variante:"):
            return os.path.join(VARIANTES, self.falsa.split(":", 1)[1])
        assert self.falsa == "vazia", self.falsa
        vazia = os.path.join(self.pasta, "vazia")
        os.makedirs(vazia, exist_ok=True)
        return vazia

    def fonte(self, nome: str) -> str:
        """The file a bridge source names."""
        if nome == "construida":
            return PONTE
        if nome.startswith("simulada:"):
            return os.path.join(PONTES_SIMULADAS, nome.split(":", 1)[1] + ".sh")
        if nome == "inexistente":
            return os.path.join(self.pasta, "nao-existe")
        assert nome == "sem_permissao", nome
        caminho = os.path.join(self.pasta, "sem-permissao")
        with open(caminho, "w", encoding="utf-8") as arquivo:
            arquivo.write("#!/bin/sh\n")
        os.chmod(caminho, 0o644)
        return caminho

    def definir(self, nome: str, valor: Optional[str]) -> None:
        self.ambiente_original.setdefault(nome, os.environ.get(nome))
        definir(nome, valor)

    def _restaurar_ambiente(self) -> None:
        for nome, valor in self.ambiente_original.items():
            definir(nome, valor)

    @staticmethod
    def _apagar(pasta: str) -> None:
        for raiz, subpastas, _ in os.walk(pasta):
            for sub in subpastas:
                caminho = os.path.join(raiz, sub)
                if not os.path.islink(caminho):
                    os.chmod(caminho, 0o700)
        shutil.rmtree(pasta, ignore_errors=True)

    def preparar_ponte(self) -> Optional[str]:
        """Sets ACBR_PONTE, PATH and the package as the row says; returns the executavel option."""
        ponte = self.caso.get("ponte", PADROES["ponte"])
        if isinstance(ponte, str):
            ponte = {"executavel": ponte}
            # A bridge given by path: the rest of the search is never reached.
        else:
            caminhos = os.path.join(self.pasta, "path")
            os.mkdir(caminhos)
            if "path" in ponte:
                shutil.copy2(self.fonte(ponte["path"]), os.path.join(caminhos, "acbr-ponte"))
            self.definir("PATH", caminhos)
        self.definir("ACBR_PONTE", None if "ACBR_PONTE" not in ponte else
                     (self.fonte(ponte["ACBR_PONTE"]) if ponte["ACBR_PONTE"] else ""))
        pacote = os.path.join(self.pasta, "pacote")
        os.mkdir(pacote)
        chave = _localizacao.chave_da_plataforma(None) or "linux-x64"
        for qual, fonte in ponte.get("pacote", {}).items():
            chave_da_fonte = chave if qual == "nativa" else chave.split("-")[0] + "-x86"
            pasta = os.path.join(pacote, chave_da_fonte)
            os.makedirs(pasta, exist_ok=True)
            origem = self.fonte(fonte)
            shutil.copy2(origem, os.path.join(pasta, "acbr-ponte"))
            resumo = _sha256(origem)
            with open(os.path.join(pasta, "acbr-ponte.sha256"), "w", encoding="ascii") as arquivo:
                arquivo.write(f"{resumo}  acbr-ponte\n")
            nome = f"acbr-ponte-{acbr_ponte.__version__}-{chave_da_fonte}-{resumo[:16]}"
            self.nomes["nome_da_copia" if qual == "nativa" else "nome_da_copia_x86"] = nome
        no_pacote = mock.patch.object(_localizacao, "PASTA_DO_PACOTE", pacote)
        no_pacote.start()
        self.teste.addCleanup(no_pacote.stop)
        return self.fonte(ponte["executavel"]) if "executavel" in ponte else None

    # --- running
    def executar(self) -> None:
        for exigencia in self.caso.get("exige", []):
            motivo = _falta(exigencia)
            if motivo:
                self.teste.skipTest(motivo)
        acbr_dir = self.acbr_dir()
        self.nomes = {
            "ponte": PONTE, "acbr_dir": acbr_dir, "variantes": VARIANTES, "arquivo_da_lib": arquivo_da_biblioteca(),
            "pasta": self.pasta, "dados": self.dados, "pasta_da_ponte": os.path.join(self.dados, "acbr-ponte"),
        }
        executavel = self.preparar_ponte()
        self.definir("XDG_DATA_HOME", self.dados)
        for nome, valor in _substituir(self.caso.get("ambiente", {}), self.nomes).items():
            self.definir(nome, valor)
        opcoes = dict(PADROES, **_substituir(self.caso.get("opcoes", {}), self.nomes))
        descritores_antes = descritores() if LINUX else 0
        ponte = acbr_ponte.Ponte(
            executavel,
            acbr_dir=opcoes["acbr_dir"] if "acbr_dir" in opcoes else acbr_dir,
            tempo_limite=opcoes["tempo_limite_ms"] / 1000,
            comandos_por_ponte=opcoes["comandos_por_ponte"],
            arquitetura=opcoes.get("arquitetura"),
            pasta_de_configuracao=opcoes.get("pasta_de_configuracao"),
        )
        try:
            for chamada in _substituir(self.caso["chamadas"], self.nomes):
                for _ in range(chamada.get("repetir", 1)):
                    self.chamar(ponte, chamada)
        finally:
            ponte.fechar()
        if "pids_por_ponte" in self.caso:
            seguidas: List[int] = []
            for i, pid in enumerate(self.pids):
                if i and pid == self.pids[i - 1]:
                    seguidas[-1] += 1
                else:
                    seguidas.append(1)
            self.teste.assertEqual(seguidas, self.caso["pids_por_ponte"])
        if LINUX:
            self.teste.assertEqual(filhos(), {}, "child processes left behind")
            self.teste.assertEqual(descritores(), descritores_antes, "descriptors left open")

    def chamar(self, ponte: acbr_ponte.Ponte, chamada: Dict[str, Any]) -> None:
        for nome, valor in chamada.get("ambiente", {}).items():
            self.definir(nome, valor)
        for acao in chamada.get("antes", []):
            self.agir(acao, ponte)
        espera = chamada.get("espera", {})
        metodo = chamada["metodo"]
        antes = ponte.pid
        if metodo == "simultaneas":
            self.simultaneas(ponte, chamada["quantas"])
            return
        if metodo == "fechar":
            ponte.fechar()
            self.conferir_pid(espera, antes, ponte.pid)
            return
        def chamar() -> Any:
            return ponte.versao() if metodo == "versao" else ponte.enviar(chamada["comando"])

        try:
            valor = chamar()
        except acbr_ponte.ErroAcbrPonte as erro:
            self.teste.assertIn("erro", espera, f"unexpected {erro!r}")
            self.conferir_erro(erro, espera["erro"])
            if chamada.get("matar_pid_do_stderr"):
                os.kill(int(getattr(erro, "stderr").strip()), signal.SIGKILL)
        else:
            if "versao" in espera:
                esperada = espera["versao"]
                self.teste.assertEqual(valor, acbr_ponte.Versao(esperada["nome"], esperada["versao"]))
            elif "resposta" in espera:
                self.teste.assertEqual(valor, espera["resposta"])
            else:
                self.teste.fail(f"{metodo} returned {valor!r}, expected {espera}")
        self.pids.append(ponte.pid)
        self.conferir_pid(espera, antes, ponte.pid)
        for caminho in espera.get("existe", []):
            self.teste.assertTrue(os.path.lexists(caminho), f"{caminho} does not exist")
        for caminho in espera.get("nao_existe", []):
            self.teste.assertFalse(os.path.lexists(caminho), f"{caminho} exists")
        if "conta_linhas" in espera:
            conta = espera["conta_linhas"]
            with open(conta["arquivo"], encoding="utf-8") as arquivo:
                linhas = arquivo.read().splitlines()
            self.teste.assertEqual(linhas.count(conta["linha"]), conta["vezes"], linhas)

    def conferir_pid(self, espera: Dict[str, Any], antes: Optional[int], depois: Optional[int]) -> None:
        quando = espera.get("pid")
        if quando == "nenhum":
            self.teste.assertIsNone(depois)
        elif quando == "mesmo":
            self.teste.assertIsNotNone(depois)
            self.teste.assertEqual(depois, antes)
        elif quando == "novo":
            self.teste.assertIsNotNone(depois)
            self.teste.assertNotEqual(depois, antes)

    def conferir_erro(self, erro: acbr_ponte.ErroAcbrPonte, espera: Dict[str, Any]) -> None:
        self.teste.assertEqual(type(erro).__name__, espera["classe"], str(erro))
        mensagem = str(erro)
        stderr: str = getattr(erro, "stderr", "")
        for campo, valor in espera.items():
            if campo == "classe":
                continue
            if campo == "tempo_limite_ms":
                self.teste.assertEqual(round(getattr(erro, "tempo_limite") * 1000), valor)
            elif campo == "sinal":
                sinal = getattr(erro, "sinal")
                self.teste.assertEqual(None if sinal is None else signal.Signals(sinal).name, valor)
            elif campo == "mensagem":
                self.teste.assertEqual(mensagem, valor)
            elif campo == "mensagem_comeca":
                self.teste.assertTrue(mensagem.startswith(valor), mensagem)
            elif campo == "stderr_contem":
                for trecho in valor:
                    self.teste.assertIn(trecho, stderr)
            elif campo == "stderr_nao_contem":
                for trecho in valor:
                    self.teste.assertNotIn(trecho, stderr)
            elif campo == "stderr_termina":
                self.teste.assertTrue(stderr.endswith(valor), stderr[-100:])
            elif campo == "stderr_bytes":
                self.teste.assertTrue(valor[0] <= len(stderr.encode()) <= valor[1], len(stderr.encode()))
            else:
                self.teste.assertEqual(getattr(erro, campo), valor, campo)

    def agir(self, acao: Dict[str, Any], ponte: acbr_ponte.Ponte) -> None:
        tipo, caminho = acao["acao"], acao.get("caminho", "")
        if tipo == "criar_pasta":
            os.makedirs(caminho, exist_ok=True)
            os.chmod(caminho, int(acao["modo"], 8))
        elif tipo == "mudar_modo":
            os.chmod(caminho, int(acao["modo"], 8))
        elif tipo == "mudar_dono":
            os.chown(caminho, OUTRO_USUARIO, OUTRO_USUARIO)
        elif tipo == "escrever":
            if os.path.lexists(caminho):
                os.unlink(caminho)
            with open(caminho, "w", encoding="utf-8") as arquivo:
                arquivo.write(acao["conteudo"])
            os.chmod(caminho, int(acao["modo"], 8))
        elif tipo == "link_simbolico":
            os.symlink(acao["alvo"], caminho)
        elif tipo == "remover":
            os.unlink(caminho)
        elif tipo == "matar_ponte":
            pid = ponte.pid
            assert pid is not None
            os.kill(pid, signal.SIGKILL)
            prazo = time.monotonic() + 10
            while estado_do_processo(pid) not in ("Z", "?") and time.monotonic() < prazo:
                time.sleep(0.01)
        else:
            raise AssertionError(f"unknown action {tipo}")

    def simultaneas(self, ponte: acbr_ponte.Ponte, quantas: int) -> None:
        largada = threading.Barrier(quantas)
        recebidas: Dict[int, object] = {}

        def chamar(i: int) -> None:
            largada.wait()
            try:
                recebidas[i] = ponte.versao() if i % 2 == 0 else ponte.enviar('{"cmd":"c%d"}' % i)
            except Exception as erro:  # reported below, with the others
                recebidas[i] = erro

        threads = [threading.Thread(target=chamar, args=(i,)) for i in range(quantas)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for i in range(quantas):
            if i % 2 == 0:
                self.teste.assertEqual(recebidas[i], acbr_ponte.Versao("ACBrLibNFe (falsa)", "0.0.0-falsa"))
            else:
                coluna = 8 + len(f"c{i}") + 1
                self.teste.assertEqual(recebidas[i], {"ok": False, "erro": f"comando inválido: unknown variant `c{i}`, "
                                                      f"expected `versao` at line 1 column {coluna}"})


class Casos(unittest.TestCase):
    """Filled below with one test per row and stand-in."""

    @classmethod
    def setUpClass(cls) -> None:
        if not ha_ponte():
            raise unittest.SkipTest(SEM_PONTE)


def _teste(caso: Dict[str, Any], falsa: str) -> Callable[[Casos], None]:
    def executar(self: Casos) -> None:
        if caso["nome"] in NAO_EXECUTAVEIS:
            self.skipTest(NAO_EXECUTAVEIS[caso["nome"]])
        _Linha(self, caso, falsa).executar()

    executar.__doc__ = f"{caso['nome']} ({falsa}): {caso['descricao']}"
    return executar


_QUANTOS = 0
for _caso in TABELA["casos"]:
    for _falsa in _caso.get("falsas", PADROES["falsas"]):
        _nome = f"test_{_caso['nome']}__{re.sub(r'[^a-z0-9_]', '_', _falsa)}"
        assert not hasattr(Casos, _nome), _nome
        setattr(Casos, _nome, _teste(_caso, _falsa))
        _QUANTOS += 1


class Tabela(unittest.TestCase):
    def test_a_tabela_inteira_virou_testes(self) -> None:
        # An empty or half-read table must fail, not pass with nothing run.
        nomes = {caso["nome"] for caso in TABELA["casos"]}
        self.assertGreaterEqual(len(TABELA["casos"]), 60)
        self.assertEqual(_QUANTOS, sum(len(caso.get("falsas", PADROES["falsas"])) for caso in TABELA["casos"]))
        self.assertEqual(len([nome for nome in dir(Casos) if nome.startswith("test_")]), _QUANTOS)
        self.assertLessEqual(set(NAO_EXECUTAVEIS), nomes)


if __name__ == "__main__":
    unittest.main()
