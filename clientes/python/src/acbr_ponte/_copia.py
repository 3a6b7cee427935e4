"""The copy of the package's bridge in the configuration folder: the library keeps its
configuration file beside the running executable, which must then be a folder of the user's own,
never the installed package. Placed once (under a temporary name, checked against the package's
sha256, renamed into place) and checked again before every start: nothing runs from a folder or a
copy that someone else could change."""

from __future__ import annotations

import hashlib
import os
import secrets
import stat
from typing import Optional, Tuple

from ._erros import LocalInseguro, PonteNaoIniciada
from ._localizacao import NOME_DO_EXECUTAVEL, PonteDoPacote

_POSIX = os.name != "nt"
_BLOCO = 1 << 16


class CopiaDaPonte:
    def __init__(self, origem: PonteDoPacote, pasta: str, versao: str) -> None:
        self.origem = origem
        self.pasta = pasta
        sufixo = ".exe" if origem.chave.startswith("win-") else ""
        self.caminho = os.path.join(pasta, f"{NOME_DO_EXECUTAVEL}-{versao}-{origem.chave}-{origem.sha256[:16]}{sufixo}")
        # What the copy was when its sha256 was last found right: (device, inode, size, modification
        # and change times); the change time moves even when the modification time is set back.
        self._conferida: Optional[Tuple[int, int, int, int, int]] = None

    def pronta(self) -> str:
        """The copy's path, once the folder and the copy are checked; placed first if missing."""
        self._conferir_pasta()
        try:
            self._conferir_copia()
        except FileNotFoundError:
            self._colocar()
            self._conferir_copia()
        return self.caminho

    def _conferir_pasta(self) -> None:
        try:
            try:
                info = os.lstat(self.pasta)
            except FileNotFoundError:
                try:
                    os.makedirs(os.path.dirname(self.pasta) or ".", exist_ok=True)
                    os.mkdir(self.pasta, 0o700)
                    if _POSIX:
                        os.chmod(self.pasta, 0o700)  # whatever the umask took away
                except FileExistsError:
                    pass  # another host made it first: it is checked like any other
                info = os.lstat(self.pasta)
        except OSError as erro:  # a file where a folder of the path should be, no permission
            raise PonteNaoIniciada(f"não foi possível criar a pasta {self.pasta}: {erro.strerror or erro}") from erro
        if stat.S_ISLNK(info.st_mode):
            raise LocalInseguro(self.pasta, "é um link simbólico")
        if not stat.S_ISDIR(info.st_mode):
            raise LocalInseguro(self.pasta, "não é uma pasta")
        if _POSIX:
            if info.st_uid != os.geteuid():
                raise LocalInseguro(self.pasta, "a pasta pertence a outro usuário")
            if info.st_mode & 0o022:
                raise LocalInseguro(self.pasta, "a pasta pode ser alterada por outros usuários")

    def _conferir_copia(self) -> None:
        """Raises FileNotFoundError when there is no copy yet."""
        try:
            # O_NONBLOCK: a FIFO put where the copy should be must not hold the host here.
            descritor = os.open(self.caminho, os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_BINARY", 0)
                                | getattr(os, "O_NONBLOCK", 0))
        except OSError as erro:
            if isinstance(erro, FileNotFoundError) and not os.path.islink(self.caminho):
                raise
            if os.path.islink(self.caminho):
                raise LocalInseguro(self.caminho, "é um link simbólico") from erro
            raise PonteNaoIniciada(f"não foi possível iniciar a ponte {self.caminho}: {erro.strerror or erro}", self.caminho) from erro
        info = os.fstat(descritor)
        if not stat.S_ISREG(info.st_mode):  # before fdopen, which refuses a folder with its own error
            os.close(descritor)
            raise LocalInseguro(self.caminho, "não é um arquivo comum")
        with os.fdopen(descritor, "rb") as arquivo:
            if _POSIX:
                if info.st_uid != os.geteuid():
                    raise LocalInseguro(self.caminho, "a cópia da ponte pertence a outro usuário")
                if info.st_mode & 0o022:
                    raise LocalInseguro(self.caminho, "a cópia da ponte pode ser alterada por outros usuários")
            marca = (info.st_dev, info.st_ino, info.st_size, info.st_mtime_ns, info.st_ctime_ns)
            if marca == self._conferida:
                return
            resumo = hashlib.sha256()
            try:
                for bloco in iter(lambda: arquivo.read(_BLOCO), b""):
                    resumo.update(bloco)
            except OSError as erro:
                raise PonteNaoIniciada(f"não foi possível iniciar a ponte {self.caminho}: {erro.strerror or erro}",
                                       self.caminho) from erro
        if resumo.hexdigest() != self.origem.sha256:
            raise LocalInseguro(self.caminho, "a cópia da ponte não confere com a do pacote")
        self._conferida = marca

    def _colocar(self) -> None:
        temporario = os.path.join(self.pasta, f".{NOME_DO_EXECUTAVEL}-{secrets.token_hex(8)}.tmp")
        bandeiras = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_BINARY", 0)
        try:
            descritor = os.open(temporario, bandeiras, 0o700)
        except OSError as erro:
            raise PonteNaoIniciada(f"não foi possível iniciar a ponte {self.caminho}: {erro.strerror or erro}", self.caminho) from erro
        try:
            resumo = hashlib.sha256()
            with os.fdopen(descritor, "wb") as destino, open(self.origem.caminho, "rb") as fonte:
                for bloco in iter(lambda: fonte.read(_BLOCO), b""):
                    resumo.update(bloco)
                    destino.write(bloco)
                destino.flush()
                if _POSIX:
                    os.fchmod(destino.fileno(), 0o700)
                os.fsync(destino.fileno())
            if resumo.hexdigest() != self.origem.sha256:
                raise PonteNaoIniciada(
                    f"a ponte do pacote {self.origem.caminho} não confere com o sha256 que o pacote traz", self.origem.caminho
                )
            try:
                os.replace(temporario, self.caminho)
            except PermissionError:
                # Windows: another host placed it and is running it. That one is checked instead.
                pass
        except OSError as erro:  # a full disk, an unreadable package
            raise PonteNaoIniciada(f"não foi possível iniciar a ponte {self.caminho}: {erro.strerror or erro}",
                                   self.caminho) from erro
        finally:
            try:
                os.unlink(temporario)
            except FileNotFoundError:
                pass
