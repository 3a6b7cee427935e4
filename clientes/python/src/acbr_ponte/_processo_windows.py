"""One bridge process on Windows, where pipes cannot be waited on with poll(): each pipe has one
daemon thread that owns it: the writer (commands to standard input), the reader (answer lines to
a queue) and the drain (standard error into the Cauda, so a chatty library never blocks the
bridge). The caller waits on the queue with a deadline, so neither a hung bridge nor a full pipe
can hold it past the limit."""

from __future__ import annotations

import os
import queue
import subprocess
import threading
import time
from typing import IO, Dict, List, Optional

from ._cauda import Cauda
from ._erros import PonteEncerrada, PonteNaoIniciada, TempoEsgotado

# How often a waiting call checks whether the process ended while something else (a process the
# library started) keeps the output pipe open, so no end of file arrives.
_INTERVALO = 0.2
# How long threads and pipes get to finish once the process is gone.
_ACABAMENTO = 1.0


class _CaudaComTrava:
    def __init__(self) -> None:
        self._cauda = Cauda()
        self._trava = threading.Lock()

    def acrescentar(self, dados: bytes) -> None:
        with self._trava:
            self._cauda.acrescentar(dados)

    def texto(self) -> str:
        with self._trava:
            return self._cauda.texto()


def _escrever(saida: IO[bytes], escritas: "queue.Queue[Optional[bytes]]") -> None:
    try:
        while True:
            dados = escritas.get()
            if dados is None:
                return
            try:
                vista = memoryview(dados)
                while vista:
                    vista = vista[os.write(saida.fileno(), vista) :]
            except (OSError, ValueError):
                return  # the bridge is gone; the reader reports the end
    finally:
        try:
            saida.close()
        except OSError:
            pass


def _ler_linhas(entrada: IO[bytes], respostas: "queue.Queue[Optional[List[bytes]]]") -> None:
    pendente = bytearray()
    try:
        while True:
            dados = os.read(entrada.fileno(), 65536)
            if not dados:
                return
            busca = len(pendente)
            pendente += dados
            fim = pendente.find(b"\n", busca)
            linhas = []
            while fim >= 0:
                linhas.append(bytes(pendente[: fim + 1]))
                del pendente[: fim + 1]
                fim = pendente.find(b"\n")
            if linhas:
                # All the lines of one read at once: a line after the answer is seen by the next
                # call's check, never taken for its answer.
                respostas.put(linhas)
    except (OSError, ValueError):
        pass
    finally:
        if pendente:
            respostas.put([bytes(pendente)])  # a line cut short by the end
        respostas.put(None)
        entrada.close()


def _drenar(entrada: IO[bytes], cauda: _CaudaComTrava) -> None:
    try:
        while True:
            dados = os.read(entrada.fileno(), 65536)
            if not dados:
                return
            cauda.acrescentar(dados)
    except (OSError, ValueError):
        pass
    finally:
        entrada.close()


class Processo:
    """A running bridge. Exchanges are not thread-safe: the Ponte serialises them."""

    def __init__(self, executavel: str, ambiente: Optional[Dict[str, str]]) -> None:
        try:
            # Unbuffered; no console window flashes up beside a graphical host.
            self._popen = subprocess.Popen(
                [executavel],
                bufsize=0,
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                env=ambiente,
                creationflags=getattr(subprocess, "CREATE_NO_WINDOW", 0),
            )
        except OSError as erro:
            raise PonteNaoIniciada(
                f"não foi possível iniciar a ponte {executavel}: {erro.strerror or erro}", executavel
            ) from erro
        self.pid: int = self._popen.pid
        self.comandos = 0
        self._escritas: "queue.Queue[Optional[bytes]]" = queue.Queue()
        self._respostas: "queue.Queue[Optional[List[bytes]]]" = queue.Queue()
        self._lidas: List[bytes] = []
        self._cauda = _CaudaComTrava()
        assert self._popen.stdin and self._popen.stdout and self._popen.stderr
        nome = f"acbr-ponte {self.pid}"
        self._threads = [
            threading.Thread(target=_escrever, args=(self._popen.stdin, self._escritas), name=f"{nome} stdin"),
            threading.Thread(target=_ler_linhas, args=(self._popen.stdout, self._respostas), name=f"{nome} stdout"),
            threading.Thread(target=_drenar, args=(self._popen.stderr, self._cauda), name=f"{nome} stderr"),
        ]
        for thread in self._threads:
            thread.daemon = True  # a forgotten Ponte must not keep the host alive
            thread.start()

    def ociosa(self) -> bool:
        return not self._lidas and self._popen.poll() is None and self._respostas.empty()

    def trocar(self, linha: bytes, tempo_limite: Optional[float]) -> bytes:
        prazo = None if tempo_limite is None else time.monotonic() + tempo_limite
        self.comandos += 1
        self._escritas.put(linha)
        while not self._lidas:
            espera = _INTERVALO
            if prazo is not None:
                restante = prazo - time.monotonic()
                if restante <= 0:
                    self.matar()
                    assert tempo_limite is not None
                    raise TempoEsgotado(tempo_limite, self._cauda.texto())
                espera = min(espera, restante)
            try:
                item = self._respostas.get(timeout=espera)
            except queue.Empty:
                if self._popen.poll() is None:
                    continue
                try:  # ended: whatever it wrote before is in the pipe or already queued
                    item = self._respostas.get(timeout=_ACABAMENTO)
                except queue.Empty:
                    item = None
            if item is None:
                raise self._encerrada()
            self._lidas.extend(item)
        linha_lida = self._lidas.pop(0)
        if not linha_lida.endswith(b"\n"):
            raise self._encerrada()
        return linha_lida

    def _encerrada(self) -> PonteEncerrada:
        try:
            codigo = self._popen.wait(timeout=_ACABAMENTO)
        except subprocess.TimeoutExpired:
            self._popen.kill()
            codigo = self._popen.wait()
        self._concluir()
        return PonteEncerrada(codigo, None, self._cauda.texto())

    def encerrar(self, espera: float) -> None:
        self._escritas.put(None)
        try:
            self._popen.wait(timeout=espera)
        except subprocess.TimeoutExpired:
            self._popen.kill()
            self._popen.wait()
        self._concluir()

    def matar(self) -> None:
        if self._popen.poll() is None:
            self._popen.kill()  # TerminateProcess
        self._popen.wait()
        self._concluir()

    def abandonar(self) -> None:  # there is no fork on Windows
        self.matar()

    def _concluir(self) -> None:
        self._escritas.put(None)
        prazo = time.monotonic() + _ACABAMENTO
        for thread in self._threads:
            if thread is not threading.current_thread():
                thread.join(max(0.0, prazo - time.monotonic()))
