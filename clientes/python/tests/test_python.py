"""What is Python's own and not in the shared table: the options' types, JSON values, signals and
KeyboardInterrupt, fork, the garbage collector, a host that exits without closing, and two hosts
placing the same copy at once."""

from __future__ import annotations

import gc
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings
from typing import Any, Dict, List
from unittest import mock

from acbr_ponte import ComandoRecusado, Ponte, PonteEncerrada, PonteNaoIniciada, TempoEsgotado, Versao, _localizacao

from apoio import ESPERADA, FALSA_C, LINUX, PONTE, PONTES_SIMULADAS, TesteComPonte, ambiente, estado_do_processo

PADRAO = {"ok": True, "nome": ESPERADA, "versao": "0.0.0-falsa"}


class _Interrompido(Exception):
    pass


def _interromper(sinal: int, quadro: Any) -> None:
    raise _Interrompido()


def _executar(programa: str, **variaveis: str) -> "subprocess.CompletedProcess[str]":
    """Runs a Python host program with this package importable."""
    return subprocess.run([sys.executable, "-c", programa], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path), **variaveis))


class Opcoes(unittest.TestCase):
    def test_valores_errados_sao_value_error(self) -> None:
        errados: List[Dict[str, Any]] = [
            {"tempo_limite": 0}, {"tempo_limite": -1.0}, {"tempo_limite": float("nan")}, {"tempo_limite": float("inf")},
            {"tempo_limite": "30"}, {"tempo_limite": True}, {"comandos_por_ponte": -1}, {"comandos_por_ponte": 1.5},
            {"comandos_por_ponte": True}, {"arquitetura": "arm64"}, {"executavel": ""},
        ]
        for opcoes in errados:
            with self.subTest(opcoes=opcoes):
                self.assertRaises(ValueError, Ponte, **opcoes)

    def test_caminhos_podem_ser_path_like(self) -> None:
        import pathlib

        ponte = Ponte(pathlib.Path("/x/acbr-ponte"), acbr_dir=pathlib.Path("/y"), pasta_de_configuracao=pathlib.Path("/z"))
        self.assertEqual((ponte.executavel, ponte.acbr_dir, ponte.pasta_de_configuracao), ("/x/acbr-ponte", "/y", "/z"))
        self.assertIsNone(ponte.pid, "nothing starts before the first call")


class ValoresJson(TesteComPonte):
    def test_valores_vao_como_json_compacto_sem_escapar_o_que_nao_e_ascii(self) -> None:
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte:
            self.assertEqual(ponte.enviar({"cmd": "versao"}), PADRAO)
            self.assertEqual(ponte.enviar(["versao"]), PADRAO)
            # Not ASCII-escaped: the column counts the two bytes of each of ç and ã.
            self.assertEqual(ponte.enviar({"cmd": "ação"})["erro"],
                             "comando inválido: unknown variant `ação`, expected `versao` at line 1 column 15")
            # A line feed inside a JSON string is escaped: the value goes as one line.
            self.assertEqual(ponte.enviar({"cmd": "a\nb"})["erro"],
                             "comando inválido: unknown variant `a\nb`, expected `versao` at line 1 column 13")

    def test_o_que_nao_tem_forma_json_ou_utf8_e_recusado_antes_de_escrever(self) -> None:
        circular: List[object] = []
        circular.append(circular)
        recusados = [(float("nan"), "o comando não tem forma JSON: "), ({"v": float("inf")}, "o comando não tem forma JSON: "),
                     (circular, "o comando não tem forma JSON: "), (b'{"cmd":"versao"}', "o comando não tem forma JSON: "),
                     (object(), "o comando não tem forma JSON: "), ("\ud800", "o comando não é UTF-8 válido"),
                     ({"cmd": "\udfff"}, "o comando não é UTF-8 válido")]
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte:
            for comando, mensagem in recusados:
                with self.subTest(comando=repr(comando)):
                    with self.assertRaises(ComandoRecusado) as contexto:
                        ponte.enviar(comando)
                    self.assertIsInstance(contexto.exception, ValueError)
                    self.assertTrue(str(contexto.exception).startswith(mensagem), str(contexto.exception))
                    self.assertIsNone(ponte.pid)


class Sinais(TesteComPonte):
    @unittest.skipUnless(LINUX, "signals as POSIX has them")
    def test_sinal_e_um_signal_signals(self) -> None:
        with Ponte(PONTE, acbr_dir=FALSA_C) as ponte, ambiente(ACBR_FALSA_DEFEITO="acesso_nulo"):
            with self.assertRaises(PonteEncerrada) as contexto:
                ponte.versao()
        self.assertIs(contexto.exception.sinal, signal.SIGSEGV)

    @unittest.skipUnless(hasattr(signal, "setitimer"), "needs setitimer")
    def test_chamada_interrompida_descarta_a_ponte(self) -> None:
        # An exception (KeyboardInterrupt, a signal handler's) while the answer is pending: the
        # answer would arrive later and be taken for the next call's, so the bridge goes.
        anterior = signal.signal(signal.SIGALRM, _interromper)
        self.addCleanup(signal.signal, signal.SIGALRM, anterior)
        with Ponte(PONTE, acbr_dir=FALSA_C, tempo_limite=30) as ponte:
            with ambiente(ACBR_FALSA_DEFEITO="dorme"):
                signal.setitimer(signal.ITIMER_REAL, 0.3)
                try:
                    self.assertRaises(_Interrompido, ponte.versao)
                finally:
                    signal.setitimer(signal.ITIMER_REAL, 0)
            self.assertIsNone(ponte.pid)
            self.assertEqual(ponte.versao().nome, ESPERADA)

    @unittest.skipUnless(LINUX, "SIGPIPE")
    def test_escrever_para_a_ponte_morta_nao_mata_o_host_com_sigpipe(self) -> None:
        # A host that put back SIGPIPE's default action, and a command larger than the pipe, still
        # being written when the bridge closes its input.
        programa = (
            "import signal, sys, acbr_ponte\n"
            "signal.signal(signal.SIGPIPE, signal.SIG_DFL)\n"
            "with acbr_ponte.Ponte(sys.argv[1] if len(sys.argv) > 1 else None) as ponte:\n"
            "    try:\n"
            "        ponte.enviar({'cmd': 'versao', 'grande': 'x' * 1000000})\n"
            "    except acbr_ponte.PonteEncerrada as erro:\n"
            "        print(erro.status)\n"
        )
        saida = _executar(programa, ACBR_PONTE=os.path.join(PONTES_SIMULADAS, "surda_de_entrada.sh"))
        self.assertEqual((saida.returncode, saida.stdout, saida.stderr), (0, "4\n", ""))


class Processos(TesteComPonte):
    def test_fechar_deixa_terminar_as_chamadas_ja_feitas(self) -> None:
        ponte = Ponte(PONTE, acbr_dir=FALSA_C)
        respostas: List[object] = []
        largada = threading.Barrier(6)

        def chamar() -> None:
            largada.wait()
            respostas.append(ponte.versao())

        threads = [threading.Thread(target=chamar) for _ in range(5)]
        for thread in threads:
            thread.start()
        largada.wait()
        time.sleep(0.05)
        ponte.fechar()
        for thread in threads:
            thread.join()
        self.assertEqual(len(respostas), 5)

    @unittest.skipUnless(hasattr(os, "fork"), "needs fork")
    def test_filho_de_fork_usa_uma_ponte_sua(self) -> None:
        # A host forks (a pre-forking server, multiprocessing) while another of its threads is in
        # a call: the child must neither share that bridge, whose answers would go to either
        # process, nor wait forever for the call lock that thread held.
        with Ponte(PONTE, acbr_dir=FALSA_C, tempo_limite=2) as ponte:
            with ambiente(ACBR_FALSA_DEFEITO="dorme"):
                ocupada = threading.Thread(target=self.assertRaises, args=(TempoEsgotado, ponte.versao))
                ocupada.start()
                while ponte.pid is None:
                    time.sleep(0.01)
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", DeprecationWarning)  # forking a process with threads
                filho = os.fork()
            if filho == 0:
                signal.signal(signal.SIGALRM, lambda *_: os._exit(3))
                signal.alarm(10)
                codigo = 1
                try:
                    certo = ponte.versao().nome == ESPERADA
                    ponte.fechar()
                    codigo = 0 if certo else 2
                finally:
                    os._exit(codigo)
            _, status = os.waitpid(filho, 0)
            ocupada.join()
            self.assertEqual(os.waitstatus_to_exitcode(status), 0)

    def test_ponte_esquecida_e_encerrada_pelo_coletor(self) -> None:
        with warnings.catch_warnings(record=True) as avisos:
            warnings.simplefilter("always")
            ponte = Ponte(PONTE, acbr_dir=FALSA_C)
            ponte.versao()
            del ponte
            gc.collect()
        self.assertEqual([str(aviso.message) for aviso in avisos], [])

    def test_ponte_esquecida_nao_prende_o_processo_do_host(self) -> None:
        programa = "import acbr_ponte\nponte = acbr_ponte.Ponte()\nprint(ponte.versao().nome, ponte.pid, flush=True)\n"
        saida = _executar(programa, ACBR_PONTE=PONTE, ACBR_DIR=FALSA_C)
        self.assertEqual((saida.returncode, saida.stderr), (0, ""))
        nome, pid = saida.stdout.rsplit(maxsplit=1)
        self.assertEqual(nome, ESPERADA)
        if LINUX:
            self.assertIn(estado_do_processo(int(pid)), ("Z", "?"), "the bridge outlived its host")


@unittest.skipUnless(LINUX, "the packaged bridge of linux-x64")
class CopiaDaPonte(TesteComPonte):
    def setUp(self) -> None:
        super().setUp()
        self.pasta = tempfile.mkdtemp(prefix="acbr-ponte-copia-")
        self.addCleanup(shutil.rmtree, self.pasta, True)
        chave = _localizacao.chave_da_plataforma(None)
        assert chave is not None
        pacote = os.path.join(self.pasta, "pacote", chave)
        os.makedirs(pacote)
        shutil.copy2(PONTE, os.path.join(pacote, "acbr-ponte"))
        with open(PONTE, "rb") as arquivo:
            self.sha256 = hashlib.sha256(arquivo.read()).hexdigest()
        with open(os.path.join(pacote, "acbr-ponte.sha256"), "w", encoding="ascii") as arquivo:
            arquivo.write(f"{self.sha256}  acbr-ponte\n")
        self.pacote = os.path.dirname(pacote)

    def test_dois_hosts_ao_mesmo_tempo_deixam_uma_copia(self) -> None:
        programa = (
            "import sys, acbr_ponte\n"
            "from acbr_ponte import _localizacao\n"
            "_localizacao.PASTA_DO_PACOTE = sys.argv[1]\n"
            "sys.stdin.readline()\n"
            "with acbr_ponte.Ponte(acbr_dir=sys.argv[2], pasta_de_configuracao=sys.argv[3]) as ponte:\n"
            "    print(ponte.versao().nome)\n"
        )
        config = os.path.join(self.pasta, "config")
        hosts = [subprocess.Popen([sys.executable, "-c", programa, self.pacote, FALSA_C, config], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path), ACBR_PONTE=""))
                 for _ in range(4)]
        for host in hosts:  # all at once, once all are up
            assert host.stdin is not None
            host.stdin.write("\n")
            host.stdin.flush()
        for host in hosts:
            saida, erro = host.communicate(timeout=60)
            self.assertEqual((host.returncode, saida, erro), (0, ESPERADA + "\n", ""))
        copias = [nome for nome in os.listdir(config) if nome.startswith("acbr-ponte")]
        self.assertEqual(copias, [f"acbr-ponte-0.1.0-linux-x64-{self.sha256[:16]}"])
        self.assertEqual([nome for nome in os.listdir(config) if nome.endswith(".tmp")], [], "temporary copies left")

    def test_pacote_com_sha256_que_nao_confere_nao_e_copiado(self) -> None:
        with open(os.path.join(self.pacote, "linux-x64", "acbr-ponte.sha256"), "w", encoding="ascii") as arquivo:
            arquivo.write("0" * 64 + "  acbr-ponte\n")
        config = os.path.join(self.pasta, "config")
        with mock.patch.object(_localizacao, "PASTA_DO_PACOTE", self.pacote), ambiente(ACBR_PONTE=None):
            with Ponte(acbr_dir=FALSA_C, pasta_de_configuracao=config) as ponte:
                with self.assertRaisesRegex(Exception, "não confere com o sha256 que o pacote traz"):
                    ponte.versao()
        self.assertEqual(os.listdir(config), [], "nothing is left of the copy")

    def test_a_copia_so_e_lida_de_novo_quando_muda(self) -> None:
        config = os.path.join(self.pasta, "config")
        with mock.patch.object(_localizacao, "PASTA_DO_PACOTE", self.pacote), ambiente(ACBR_PONTE=None):
            with Ponte(acbr_dir=FALSA_C, pasta_de_configuracao=config, comandos_por_ponte=1) as ponte:
                self.assertEqual(ponte.versao(), Versao(ESPERADA, "0.0.0-falsa"))
                with mock.patch("hashlib.sha256", side_effect=AssertionError("hashed again")):
                    for _ in range(3):
                        self.assertEqual(ponte.versao().nome, ESPERADA)  # a fresh bridge each time
                copia = os.path.join(config, f"acbr-ponte-0.1.0-linux-x64-{self.sha256[:16]}")
                os.utime(copia, ns=(0, 0))  # changed on disk: read again, and still right
                self.assertEqual(ponte.versao().nome, ESPERADA)

    @unittest.skipUnless(os.name == "posix", "FIFOs and folders made unusable are POSIX's")
    def test_o_que_o_sistema_recusa_na_pasta_e_ponte_nao_iniciada(self) -> None:
        nome = f"acbr-ponte-0.1.0-linux-x64-{self.sha256[:16]}"
        arquivo = os.path.join(self.pasta, "arquivo")
        open(arquivo, "w").close()
        com_fifo = os.path.join(self.pasta, "com-fifo")
        os.mkdir(com_fifo, 0o700)
        os.mkfifo(os.path.join(com_fifo, nome), 0o700)
        casos = [
            # a FIFO where the copy should be is refused at once, not waited on
            (com_fifo, "não é um arquivo comum"),
            # a file where a folder of the path should be
            (os.path.join(arquivo, "config"), f"não foi possível criar a pasta {arquivo}/config"),
        ]
        for config, mensagem in casos:
            with self.subTest(config=config), mock.patch.object(_localizacao, "PASTA_DO_PACOTE", self.pacote), \
                    ambiente(ACBR_PONTE=None), Ponte(acbr_dir=FALSA_C, pasta_de_configuracao=config) as ponte:
                with self.assertRaisesRegex(PonteNaoIniciada, mensagem):
                    ponte.versao()


if __name__ == "__main__":
    unittest.main()
