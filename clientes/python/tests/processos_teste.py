"""The bridge's process: one command at a time from many threads, replaced every so many
commands, and nothing left behind after closing, or after forgetting to close."""

from __future__ import annotations

import collections
import gc
import os
import signal
import subprocess
import sys
import threading
import time
import unittest
import warnings
from typing import Dict, List, Optional

from acbr_ponte import Ponte, PonteEncerrada, PonteFechada, TempoEsgotado

from apoio import PONTE, FALSA_C, LINUX, TesteComPonte, ambiente, exigir, falsas, filhos

ESPERADA = "ACBrLibNFe (falsa)"


class Concorrencia(TesteComPonte):
    def test_200_chamadas_simultaneas_recebem_cada_uma_a_sua_resposta(self) -> None:
        for falsa, diretorio in falsas():
            for por_ponte in [1000, 7]:
                with self.subTest(falsa=falsa, comandos_por_ponte=por_ponte):
                    with Ponte(PONTE, acbr_dir=exigir(self, diretorio), comandos_por_ponte=por_ponte) as ponte:
                        self._simultaneas(ponte, 200)

    def _simultaneas(self, ponte: Ponte, quantas: int) -> None:
        largada = threading.Barrier(quantas)
        recebidas: Dict[int, object] = {}

        def chamar(i: int) -> None:
            largada.wait()
            try:
                # Half ask the version, half send a command whose error names the caller.
                recebidas[i] = ponte.versao().nome if i % 2 else ponte.enviar({"cmd": f"c{i}"})["erro"]
            except Exception as erro:  # reported below, with the others
                recebidas[i] = erro

        threads = [threading.Thread(target=chamar, args=(i,)) for i in range(quantas)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for i in range(quantas):
            if i % 2:
                self.assertEqual(recebidas[i], ESPERADA)
            else:
                coluna = len('{"cmd":"c%d"' % i)
                self.assertEqual(recebidas[i], f"comando inválido: unknown variant `c{i}`, expected `versao` "
                                 f"at line 1 column {coluna}")


class Renovacao(TesteComPonte):
    def test_uma_ponte_nova_a_cada_n_comandos(self) -> None:
        casos = [(10, [10, 10, 10, 5]), (0, [35]), (35, [35]), (1, [1] * 35)]
        for por_ponte, esperado in casos:
            with self.subTest(comandos_por_ponte=por_ponte):
                pids: List[Optional[int]] = []
                with Ponte(PONTE, acbr_dir=FALSA_C, comandos_por_ponte=por_ponte) as ponte:
                    for i in range(35):
                        resposta = ponte.versao().nome if i % 2 else ponte.enviar({"cmd": "x"})["ok"]
                        self.assertEqual(resposta, ESPERADA if i % 2 else False)
                        pids.append(ponte.pid)
                        if LINUX:
                            self.assertEqual(list(filhos()), [ponte.pid], "a replaced bridge is reaped")
                contagem = collections.Counter(pids)
                self.assertEqual([contagem[pid] for pid in dict.fromkeys(pids)], esperado)


class Fechamento(TesteComPonte):
    # Every test here also checks, on tearDown, that no child and no descriptor is left.

    def test_fechar_depois_de_cada_historia(self) -> None:
        def nada(ponte: Ponte) -> None:
            pass

        def consulta(ponte: Ponte) -> None:
            ponte.versao()

        def queda(ponte: Ponte) -> None:
            with ambiente(ACBR_FALSA_DEFEITO="acesso_nulo"):
                self.assertRaises(PonteEncerrada, ponte.versao)
            ponte.versao()

        def trava(ponte: Ponte) -> None:
            with ambiente(ACBR_FALSA_DEFEITO="dorme"):
                self.assertRaises(TempoEsgotado, ponte.versao)
            ponte.versao()

        for falsa, diretorio in falsas():
            for historia in [nada, consulta, queda, trava]:
                with self.subTest(falsa=falsa, historia=historia.__name__):
                    ponte = Ponte(PONTE, acbr_dir=exigir(self, diretorio), tempo_limite=1)
                    with ponte:
                        historia(ponte)
                    self.assertIsNone(ponte.pid)
                    if LINUX:
                        self.assertEqual(filhos(), {})

    @unittest.skipUnless(hasattr(os, "fork"), "needs fork")
    def test_filho_de_fork_usa_uma_ponte_sua(self) -> None:
        # A host forks (a pre-forking server, multiprocessing) while another of its threads is
        # in a call: the child must neither share that bridge, whose answers would go to either
        # process, nor wait forever for the call lock that thread held.
        with Ponte(PONTE, acbr_dir=FALSA_C, tempo_limite=2) as ponte:
            with ambiente(ACBR_FALSA_DEFEITO="dorme"):
                ocupada = threading.Thread(target=self.assertRaises, args=(TempoEsgotado, ponte.versao))
                ocupada.start()
                while ponte.pid is None:
                    time.sleep(0.01)
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

    def test_depois_de_fechar_as_chamadas_falham(self) -> None:
        ponte = Ponte(PONTE, acbr_dir=FALSA_C)
        ponte.versao()
        ponte.fechar()
        ponte.fechar()
        self.assertRaises(PonteFechada, ponte.versao)
        self.assertRaises(PonteFechada, ponte.enviar, {"cmd": "versao"})
        self.assertIsNone(ponte.pid)

    def test_ponte_esquecida_e_encerrada_pelo_coletor(self) -> None:
        with warnings.catch_warnings(record=True) as avisos:
            warnings.simplefilter("always")
            ponte = Ponte(PONTE, acbr_dir=FALSA_C)
            ponte.versao()
            del ponte
            gc.collect()
        self.assertEqual([str(aviso.message) for aviso in avisos], [])

    def test_ponte_esquecida_nao_prende_o_processo_do_host(self) -> None:
        programa = (
            "import acbr_ponte\n"
            "ponte = acbr_ponte.Ponte()\n"
            "print(ponte.versao().nome, ponte.pid, flush=True)\n"
        )
        with ambiente(ACBR_PONTE=PONTE, ACBR_DIR=FALSA_C):
            saida = subprocess.run([sys.executable, "-c", programa], capture_output=True, text=True, timeout=20,
                                   env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
        self.assertEqual((saida.returncode, saida.stderr), (0, ""))
        nome, pid = saida.stdout.rsplit(maxsplit=1)
        self.assertEqual(nome, ESPERADA)
        if LINUX:
            self.assertFalse(os.path.exists(f"/proc/{pid}") and _estado(pid) != "Z", "the bridge outlived its host")


def _estado(pid: str) -> str:
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8") as arquivo:
            dados = arquivo.read()
    except OSError:
        return "?"
    return dados[dados.rindex(")") + 2]


if __name__ == "__main__":
    unittest.main()
