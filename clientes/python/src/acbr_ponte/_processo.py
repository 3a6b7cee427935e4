"""One bridge process: its three pipes, the threads that keep them moving, and its end.

Each pipe has one daemon thread that owns it, uses its descriptor directly and closes it: the
writer (commands to standard input), the reader (answer lines to a queue) and the drain
(standard error into a bounded tail, so a chatty library never fills the pipe and blocks the
bridge). The caller only waits on the
queue, with a deadline, so neither a hung bridge nor a full pipe can hold it past the limit.
"""

from __future__ import annotations

import os
import queue
import signal
import subprocess
import threading
import time
from typing import IO, Any, Dict, Optional

from ._erros import PonteEncerrada, TempoEsgotado

TAMANHO_DO_RABO = 8192
"""Bytes of standard error kept from each bridge (the end of it)."""

# How often a waiting call checks whether the process ended while something else (a process
# the library started) keeps the output pipe open, so no end of file arrives.
_INTERVALO = 0.2
# How long threads and pipes get to finish once the process is gone.
_ACABAMENTO = 1.0


class _Rabo:
    """The last bytes written to a stream, at most ``limite`` of them."""

    def __init__(self, limite: int) -> None:
        self._limite = limite
        self._dados = bytearray()
        self._cortado = False
        self._trava = threading.Lock()

    def acrescentar(self, dados: bytes) -> None:
        with self._trava:
            self._dados += dados
            excesso = len(self._dados) - self._limite
            if excesso > 0:
                del self._dados[:excesso]
                self._cortado = True

    def texto(self) -> str:
        with self._trava:
            dados = bytes(self._dados)
            cortado = self._cortado
        if cortado:
            # The cut may have split a character: drop its continuation bytes.
            inicio = 0
            while inicio < min(3, len(dados)) and 0x80 <= dados[inicio] <= 0xBF:
                inicio += 1
            dados = dados[inicio:]
        return dados.decode("utf-8", "replace")


def _escrever(saida: IO[bytes], escritas: queue.Queue[Optional[bytes]]) -> None:
    if hasattr(signal, "pthread_sigmask"):
        # Writing to a bridge that died raises SIGPIPE in this thread; a host that restored its
        # default action would be killed by it. Blocked here, the write fails with EPIPE and
        # the signal is dropped with the thread.
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGPIPE})
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


def _ler_linhas(entrada: IO[bytes], respostas: queue.Queue[Optional[bytes]]) -> None:
    pendente = bytearray()
    try:
        while True:
            dados = os.read(entrada.fileno(), 65536)
            if not dados:
                return
            busca = len(pendente)
            pendente += dados
            fim = pendente.find(b"\n", busca)
            while fim >= 0:
                respostas.put(bytes(pendente[: fim + 1]))
                del pendente[: fim + 1]
                fim = pendente.find(b"\n")
    except (OSError, ValueError):
        pass
    finally:
        if pendente:
            respostas.put(bytes(pendente))  # a line cut short by the end
        respostas.put(None)
        entrada.close()


def _drenar(entrada: IO[bytes], rabo: _Rabo) -> None:
    try:
        while True:
            dados = os.read(entrada.fileno(), 65536)
            if not dados:
                return
            rabo.acrescentar(dados)
    except (OSError, ValueError):
        pass
    finally:
        entrada.close()


def _opcoes_da_plataforma() -> Dict[str, Any]:
    if os.name == "nt":
        # A console window would flash up beside a graphical host.
        return {"creationflags": getattr(subprocess, "CREATE_NO_WINDOW", 0)}
    return {}


class Processo:
    """A running bridge. Not thread-safe for exchanges: the Ponte serialises them."""

    def __init__(self, executavel: str, ambiente: Optional[Dict[str, str]]) -> None:
        # Unbuffered: each pipe is a plain descriptor, read and written by one thread, with no
        # buffer lock that a fork could copy while held.
        self._popen = subprocess.Popen(
            [executavel],
            bufsize=0,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            env=ambiente,
            **_opcoes_da_plataforma(),
        )
        self.pid: int = self._popen.pid
        self.comandos = 0
        self._escritas: queue.Queue[Optional[bytes]] = queue.Queue()
        self._respostas: queue.Queue[Optional[bytes]] = queue.Queue()
        self._rabo = _Rabo(TAMANHO_DO_RABO)
        assert self._popen.stdin and self._popen.stdout and self._popen.stderr
        nome = f"acbr-ponte {self.pid}"
        self._threads = [
            threading.Thread(target=_escrever, args=(self._popen.stdin, self._escritas), name=f"{nome} stdin"),
            threading.Thread(target=_ler_linhas, args=(self._popen.stdout, self._respostas), name=f"{nome} stdout"),
            threading.Thread(target=_drenar, args=(self._popen.stderr, self._rabo), name=f"{nome} stderr"),
        ]
        for thread in self._threads:
            thread.daemon = True  # a forgotten Ponte must not keep the host alive
            thread.start()

    def ociosa(self) -> bool:
        """Alive, and nothing unasked-for waiting in its output: ready for a command."""
        return self._popen.poll() is None and self._respostas.empty()

    def trocar(self, linha: bytes, tempo_limite: Optional[float]) -> bytes:
        """Writes one command line and returns its answer line. Past the limit the process is
        killed (TempoEsgotado); if it ends first, PonteEncerrada. Either way it is reaped."""
        prazo = None if tempo_limite is None else time.monotonic() + tempo_limite
        self.comandos += 1
        self._escritas.put(linha)
        while True:
            espera = _INTERVALO
            if prazo is not None:
                restante = prazo - time.monotonic()
                if restante <= 0:
                    self.matar()
                    assert tempo_limite is not None
                    raise TempoEsgotado(tempo_limite, self._rabo.texto())
                espera = min(espera, restante)
            try:
                item = self._respostas.get(timeout=espera)
            except queue.Empty:
                if self._popen.poll() is None:
                    continue
                # Ended: whatever it wrote before is in the pipe or already queued.
                try:
                    item = self._respostas.get(timeout=_ACABAMENTO)
                except queue.Empty:
                    item = None
            if item is not None and item.endswith(b"\n"):
                return item
            raise self._encerrada()

    def _encerrada(self) -> PonteEncerrada:
        try:
            codigo = self._popen.wait(timeout=_ACABAMENTO)
        except subprocess.TimeoutExpired:
            # Its output ended but it lives on: it will never answer again.
            self._popen.kill()
            codigo = self._popen.wait()
        self._concluir()
        if codigo < 0:
            return PonteEncerrada(None, -codigo, self._rabo.texto())
        return PonteEncerrada(codigo, None, self._rabo.texto())

    def encerrar(self, espera: float) -> None:
        """Closes its input, gives it ``espera`` seconds to exit, then kills it."""
        self._escritas.put(None)
        try:
            self._popen.wait(timeout=espera)
        except subprocess.TimeoutExpired:
            self._popen.kill()
            self._popen.wait()
        self._concluir()

    def matar(self) -> None:
        if self._popen.poll() is None:
            self._popen.kill()  # SIGKILL; TerminateProcess on Windows
        self._popen.wait()
        self._concluir()

    def abandonar(self) -> None:
        """In a child the host forked: the process is the parent's and none of the threads came
        along. Closes this child's copies of the pipes and leaves the process alone."""
        for arquivo in (self._popen.stdin, self._popen.stdout, self._popen.stderr):
            if arquivo is not None:
                arquivo.close()
        # The parent reaps it; this copy must never wait for it, kill it, or warn about it.
        self._popen.returncode = 0

    def _concluir(self) -> None:
        """Once the process is reaped: lets the threads close their pipes and end."""
        self._escritas.put(None)
        prazo = time.monotonic() + _ACABAMENTO
        for thread in self._threads:
            if thread is not threading.current_thread():
                thread.join(max(0.0, prazo - time.monotonic()))
