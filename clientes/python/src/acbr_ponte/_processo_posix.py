"""One bridge process on POSIX: its three pipes, the answer lines and its end, with no thread of
its own. The calling thread writes the command and waits with poll() on the answer pipe, standard
error (drained into the Cauda while it waits, so a chatty library never blocks the bridge) and,
where the system has one, a descriptor that becomes readable when the process ends (so a process
the library started, holding the pipes open, cannot hide the bridge's end)."""

from __future__ import annotations

import os
import select
import signal
import subprocess
import time
from typing import Dict, Optional

from ._cauda import Cauda
from ._erros import PonteEncerrada, PonteNaoIniciada, TempoEsgotado

# Without a process descriptor, how often a waiting call asks whether the bridge has ended.
_INTERVALO = 0.2
# How long the pipes may take to give what an ended bridge wrote, and a killed one to be reaped.
_ACABAMENTO = 1.0
_LEITURA = 65536


class Processo:
    """A running bridge. Exchanges are not thread-safe: the Ponte serialises them."""

    def __init__(self, executavel: str, ambiente: Optional[Dict[str, str]]) -> None:
        try:
            self._popen = subprocess.Popen(
                [executavel],
                bufsize=0,
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                env=ambiente,
            )
        except OSError as erro:
            raise PonteNaoIniciada(
                f"não foi possível iniciar a ponte {executavel}: {erro.strerror or erro}", executavel
            ) from erro
        assert self._popen.stdin and self._popen.stdout and self._popen.stderr
        self.pid: int = self._popen.pid
        self.comandos = 0
        self._entrada: Optional[int] = self._popen.stdin.fileno()
        self._saida = self._popen.stdout.fileno()
        self._erro: Optional[int] = self._popen.stderr.fileno()
        for descritor in (self._entrada, self._saida, self._erro):
            os.set_blocking(descritor, False)
        self._fim: Optional[int] = _descritor_do_processo(self.pid)
        # Made once: a poll object made and filled on every call costs more than its poll.
        self._vigia = select.poll()  # what a waiting call watches; the input too while a write waits
        self._vigia_ociosa = select.poll()  # an answer pipe or a process end nobody asked for
        for vigiado in (self._saida, self._erro, self._fim):
            if vigiado is not None:
                self._vigia.register(vigiado, select.POLLIN)
        for vigiado in (self._saida, self._fim):
            if vigiado is not None:
                self._vigia_ociosa.register(vigiado, select.POLLIN)
        self._pendente = bytearray()  # bytes read past the last answer line
        self._cauda = Cauda()
        self._encerrado = False

    def ociosa(self) -> bool:
        """Alive, and nothing unasked-for in its output (a line, or the end): ready for a command."""
        if self._pendente or self._encerrado:
            return False
        if self._vigia_ociosa.poll(0):
            return False
        return self._fim is not None or self._popen.poll() is None

    def trocar(self, linha: bytes, tempo_limite: Optional[float]) -> bytes:
        """Writes one command line and returns its answer line (line feed included). Past the limit
        the process is killed (TempoEsgotado); if it ends first, PonteEncerrada. Either way it is
        reaped and its pipes are closed before the error is raised."""
        prazo = None if tempo_limite is None else time.monotonic() + tempo_limite
        self.comandos += 1
        restante = memoryview(linha)
        try:
            restante = restante[_escrever(self._entrada, restante) :]
        except BlockingIOError:
            pass
        except OSError:  # the bridge closed its input: its end is told below
            restante = restante[len(restante) :]
        escrevendo = bool(restante)
        if escrevendo:
            assert self._entrada is not None
            self._vigia.register(self._entrada, select.POLLOUT)
        try:
            return self._esperar_resposta(restante, prazo, tempo_limite)
        finally:
            if escrevendo and self._entrada is not None:
                _deixar_de_vigiar(self._vigia, self._entrada)

    def _esperar_resposta(self, restante: memoryview, prazo: Optional[float], tempo_limite: Optional[float]) -> bytes:
        while True:
            espera = _INTERVALO if self._fim is None else None
            if prazo is not None:
                falta = prazo - time.monotonic()
                if falta <= 0:
                    self.matar()
                    assert tempo_limite is not None
                    raise TempoEsgotado(tempo_limite, self._cauda.texto())
                espera = falta if espera is None else min(espera, falta)
            prontos = {descritor for descritor, _ in self._vigia.poll(None if espera is None else espera * 1000)}
            if self._entrada is not None and self._entrada in prontos:
                try:
                    restante = restante[_escrever(self._entrada, restante) :]
                except BlockingIOError:
                    pass
                except OSError:
                    restante = restante[len(restante) :]
                if not restante and self._entrada is not None:
                    _deixar_de_vigiar(self._vigia, self._entrada)
            if self._erro is not None and self._erro in prontos:
                self._drenar_erro()
            if self._saida in prontos:
                resposta = self._ler_saida()
                if resposta is not None:
                    return resposta
            if (self._fim is not None and self._fim in prontos) or (self._fim is None and self._popen.poll() is not None):
                # Ended: an answer it wrote just before is still an answer.
                while True:
                    resposta = self._ler_saida()
                    if resposta is not None:
                        return resposta
                    if self._pendente.find(b"\n") < 0 and not self._tem_saida():
                        raise self._encerrada()

    def _ler_saida(self) -> Optional[bytes]:
        """Reads what the answer pipe has; the first whole line, or None. The end of the pipe is
        the end of the bridge."""
        try:
            dados = os.read(self._saida, _LEITURA)
        except BlockingIOError:
            return None
        if not dados:
            raise self._encerrada()
        busca = len(self._pendente)
        self._pendente += dados
        fim = self._pendente.find(b"\n", busca)
        if fim < 0:
            return None
        linha = bytes(self._pendente[: fim + 1])
        del self._pendente[: fim + 1]
        return linha

    def _tem_saida(self) -> bool:
        vigia = select.poll()
        vigia.register(self._saida, select.POLLIN)
        return any(eventos & select.POLLIN for _, eventos in vigia.poll(0))

    def _drenar_erro(self) -> None:
        assert self._erro is not None
        while True:
            try:
                dados = os.read(self._erro, _LEITURA)
            except BlockingIOError:
                return
            except OSError:
                dados = b""
            if not dados:
                self._fechar_descritor("_erro")
                return
            self._cauda.acrescentar(dados)

    def _encerrada(self) -> PonteEncerrada:
        """The bridge ended (or closed its output) without answering: reaped, with all it wrote
        to standard error before it ended."""
        try:
            codigo = self._popen.wait(timeout=_ACABAMENTO)
        except subprocess.TimeoutExpired:
            # Its output ended but it lives on: it will never answer again.
            self._popen.kill()
            codigo = self._popen.wait()
        self._concluir()
        if codigo < 0:
            return PonteEncerrada(None, -codigo, self._cauda.texto())
        return PonteEncerrada(codigo, None, self._cauda.texto())

    def encerrar(self, espera: float) -> None:
        """Closes its input, gives it ``espera`` seconds to exit, then kills it."""
        if not self._encerrado:
            self._fechar_descritor("_entrada")
            try:
                self._popen.wait(timeout=espera)
            except subprocess.TimeoutExpired:
                self._popen.kill()
                self._popen.wait()
        self._concluir()

    def matar(self) -> None:
        if not self._encerrado:
            if self._popen.poll() is None:
                self._popen.kill()
            self._popen.wait()
        self._concluir()

    def abandonar(self) -> None:
        """In a child the host forked: the process is the parent's. Closes this child's copies of
        the pipes and leaves the process alone."""
        self._encerrado = True
        self._fechar_tudo()
        # The parent reaps it; this copy must never wait for it, kill it, or warn about it.
        self._popen.returncode = 0

    def _concluir(self) -> None:
        """Once the process is reaped: what it wrote to standard error is kept, its pipes closed."""
        if self._encerrado:
            return
        self._encerrado = True
        if self._erro is not None:
            # Whatever the ended process wrote is in the pipe; a process it left behind may hold
            # the pipe open, so this takes what is there and no more.
            self._drenar_erro()
        self._fechar_tudo()

    def _fechar_tudo(self) -> None:
        for nome in ("_entrada", "_erro", "_fim"):
            self._fechar_descritor(nome)
        for arquivo in (self._popen.stdin, self._popen.stdout, self._popen.stderr):
            if arquivo is not None:
                arquivo.close()

    def _fechar_descritor(self, nome: str) -> None:
        descritor = getattr(self, nome)
        if descritor is None:
            return
        setattr(self, nome, None)
        # A number closed here may be given to another file: neither poll object may keep it.
        for vigia in (self._vigia, self._vigia_ociosa):
            _deixar_de_vigiar(vigia, descritor)
        if nome == "_fim":
            os.close(descritor)
        elif nome == "_entrada":
            assert self._popen.stdin is not None
            self._popen.stdin.close()
        elif nome == "_erro":
            assert self._popen.stderr is not None
            self._popen.stderr.close()


def _deixar_de_vigiar(vigia: "select.poll", descritor: int) -> None:
    try:
        vigia.unregister(descritor)
    except KeyError:  # not watched, or no longer
        pass


def _descritor_do_processo(pid: int) -> Optional[int]:
    """A descriptor that becomes readable when the process ends (Linux 5.3 and later)."""
    abrir = getattr(os, "pidfd_open", None)
    if abrir is None:
        return None
    try:
        return int(abrir(pid))
    except OSError:
        return None


def _escrever(descritor: Optional[int], dados: memoryview) -> int:
    """os.write, without SIGPIPE when the bridge has gone: Python ignores SIGPIPE, but a host that
    put back its default action would be killed by it. Then it is blocked in this thread for the
    write, and one it raised is taken before it is unblocked."""
    if descritor is None:
        raise BrokenPipeError()
    if signal.getsignal(signal.SIGPIPE) != signal.SIG_DFL:
        return os.write(descritor, dados)
    antes = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGPIPE})
    try:
        return os.write(descritor, dados)
    except BrokenPipeError:
        if hasattr(signal, "sigtimedwait"):
            signal.sigtimedwait({signal.SIGPIPE}, 0)
        raise
    finally:
        if signal.SIGPIPE not in antes:
            signal.pthread_sigmask(signal.SIG_SETMASK, antes)
