"""A bridge that hangs, dies, is interrupted, or fills its pipes: the call fails as it should and
the next one is answered by a fresh bridge."""

from __future__ import annotations

import os
import signal
import subprocess
import sys
import time
import unittest
from typing import Any, List, Optional, Tuple

from acbr_ponte import PonteEncerrada, Ponte, RespostaInvalida, TempoEsgotado

from apoio import PONTE, FALSA_C, LINUX, TesteComPonte, ambiente, descritores, exigir, filhos, falsas, ponte_simulada

ESPERADA = "ACBrLibNFe (falsa)"
LIMITE = 1.5


class _Interrompido(Exception):
    pass


def _interromper(sinal: int, quadro: Any) -> None:
    raise _Interrompido()


class Falhas(TesteComPonte):
    def test_biblioteca_que_trava_e_morta_no_tempo_limite(self) -> None:
        for falsa, diretorio in falsas():
            with self.subTest(falsa=falsa):
                with Ponte(PONTE, acbr_dir=exigir(self, diretorio), tempo_limite=LIMITE) as ponte:
                    with ambiente(ACBR_FALSA_DEFEITO="dorme"):
                        inicio = time.monotonic()
                        with self.assertRaises(TempoEsgotado) as contexto:
                            ponte.versao()
                        self.assertLess(time.monotonic() - inicio, LIMITE + 1)
                    self.assertEqual(contexto.exception.tempo_limite, LIMITE)
                    self.assertIsNone(ponte.pid)
                    self.assertEqual(ponte.versao().nome, ESPERADA)

    def test_ponte_que_morre_da_o_status_ou_sinal_e_o_fim_do_stderr(self) -> None:
        pascal = "An unhandled exception occurred at $"
        casos: List[Tuple[str, str, Optional[int], Optional[int], List[str]]] = [
            ("C", "acesso_nulo", None, signal.SIGSEGV, []),
            ("Pascal", "acesso_nulo", None, signal.SIGSEGV, []),
            ("Pascal", "excecao", 217, None, [pascal, "\nException: falha da biblioteca\n"]),
        ]
        diretorios = dict(falsas())
        for falsa, defeito, status, sinal, no_stderr in casos:
            with self.subTest(falsa=falsa, defeito=defeito):
                registro = os.path.join(self.temporario.name, f"{falsa}-{defeito}")
                with ambiente(ACBR_FALSA_REGISTRO=registro), \
                        Ponte(PONTE, acbr_dir=exigir(self, diretorios[falsa])) as ponte:
                    with ambiente(ACBR_FALSA_DEFEITO=defeito):
                        with self.assertRaises(PonteEncerrada) as contexto:
                            ponte.versao()
                    erro = contexto.exception
                    self.assertEqual((erro.status, erro.sinal), (status, sinal))
                    if sinal is not None:
                        self.assertIn(f"pelo sinal {int(sinal)} (SIGSEGV)", str(erro))
                    for trecho in no_stderr:
                        self.assertIn(trecho, erro.stderr)
                        self.assertIn(trecho.strip(), str(erro))
                    if not no_stderr:
                        self.assertEqual(erro.stderr, "")
                    with open(registro, encoding="utf-8") as arquivo:
                        self.assertEqual(arquivo.read().split().count("carregar"), 1, "the failed call is not retried")
                    self.assertIsNone(ponte.pid)
                    self.assertEqual(ponte.versao().nome, ESPERADA)

    def test_biblioteca_que_escreve_na_saida_nao_estraga_as_respostas(self) -> None:
        for falsa, diretorio in falsas():
            for defeito in ["escreve_linha", "escreve_sem_fim", "escreve_descritor"]:
                with self.subTest(falsa=falsa, defeito=defeito), ambiente(ACBR_FALSA_DEFEITO=defeito):
                    with Ponte(PONTE, acbr_dir=exigir(self, diretorio)) as ponte:
                        self.assertEqual([ponte.versao().nome for _ in range(3)], [ESPERADA] * 3)
                        self.assertEqual(ponte.enviar({"cmd": "x"})["ok"], False)

    def test_biblioteca_tagarela_no_stderr_nao_trava_a_ponte(self) -> None:
        # 4,000 lines of 23 bytes overflow a 64 KiB pipe several times over: only a client that
        # keeps reading standard error gets every answer.
        ponte = Ponte(PONTE, acbr_dir=FALSA_C, tempo_limite=10, comandos_por_ponte=0)
        with ambiente(ACBR_FALSA_DEFEITO="escreve_erro"), ponte:
            ponte.versao()
            pid = ponte.pid
            for _ in range(4000):
                self.assertEqual(ponte.versao().nome, ESPERADA)
            self.assertEqual(ponte.pid, pid)

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


@unittest.skipUnless(LINUX, "the simulated bridges are shell scripts")
class PontesSimuladas(TesteComPonte):
    def test_resposta_que_nao_e_json_descarta_a_ponte(self) -> None:
        with Ponte(ponte_simulada(self.temporario.name, "lixo")) as ponte:
            for _ in range(2):
                with self.assertRaises(RespostaInvalida) as contexto:
                    ponte.enviar({"cmd": "versao"})
                self.assertEqual(contexto.exception.linha, "isto não é JSON\n".encode())
                self.assertIsNone(ponte.pid)

    def test_stderr_guarda_so_o_fim(self) -> None:
        with Ponte(ponte_simulada(self.temporario.name, "tagarela")) as ponte:
            with self.assertRaises(PonteEncerrada) as contexto:
                ponte.versao()
        erro = contexto.exception
        self.assertEqual((erro.status, erro.sinal), (3, None))
        self.assertTrue(erro.stderr.endswith("ãã\nfim do rabo\n"), erro.stderr[-40:])
        self.assertLessEqual(len(erro.stderr.encode()), 8192)
        self.assertGreater(len(erro.stderr.encode()), 8000)
        self.assertNotIn("\ufffd", erro.stderr, "a character split by the cut is dropped, not garbled")

    def test_ponte_que_morre_deixando_a_saida_aberta(self) -> None:
        # A process the library started keeps the pipes open: no end of file, yet the bridge's
        # end is seen before the limit.
        with Ponte(ponte_simulada(self.temporario.name, "neta"), tempo_limite=10) as ponte:
            with self.assertRaises(PonteEncerrada) as contexto:
                ponte.versao()
        erro = contexto.exception
        self.assertEqual(erro.status, 5)
        os.kill(int(erro.stderr), signal.SIGKILL)
        # With it go the pipes the client's threads still read.
        prazo = time.monotonic() + 10
        while descritores() != self.descritores_antes and time.monotonic() < prazo:
            time.sleep(0.05)

    def test_escrever_para_a_ponte_morta_nao_mata_o_host_com_sigpipe(self) -> None:
        # A host that restored SIGPIPE's default action, and a command larger than the pipe,
        # still being written when the bridge closes its input.
        programa = (
            "import signal, sys, acbr_ponte\n"
            "signal.signal(signal.SIGPIPE, signal.SIG_DFL)\n"
            "with acbr_ponte.Ponte(sys.argv[1]) as ponte:\n"
            "    try:\n"
            "        ponte.enviar({'cmd': 'versao', 'grande': 'x' * 1000000})\n"
            "    except acbr_ponte.PonteEncerrada as erro:\n"
            "        print(erro.status)\n"
        )
        simulada = ponte_simulada(self.temporario.name, "surda_de_entrada")
        saida = subprocess.run([sys.executable, "-c", programa, simulada], capture_output=True, text=True, timeout=20,
                               env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
        self.assertEqual((saida.returncode, saida.stdout, saida.stderr), (0, "4\n", ""))

    def test_fechar_mata_a_ponte_que_nao_sai(self) -> None:
        with Ponte(ponte_simulada(self.temporario.name, "surda")) as ponte:
            self.assertEqual(ponte.enviar({"cmd": "versao"}), {"ok": True})
            pid = ponte.pid
        self.assertIsNotNone(pid)
        self.assertNotIn(pid, filhos())


if __name__ == "__main__":
    unittest.main()
