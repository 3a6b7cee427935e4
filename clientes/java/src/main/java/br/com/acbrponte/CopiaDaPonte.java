package br.com.acbrponte;

import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystemException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.NoSuchFileException;
import java.nio.file.OpenOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.SecureRandom;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Objects;
import java.util.Set;

/** The copy of the packaged bridge in the configuration folder: the library keeps its
 * configuration file beside the running executable, which must then be a folder of the user's
 * own, never the jar. Placed once (under a temporary name, checked against the package's sha256,
 * renamed into place) and checked again before every start: nothing runs from a folder or a copy
 * that someone else could change. */
final class CopiaDaPonte {
    private static final boolean POSIX = !Localizacao.WINDOWS;
    private static final Set<PosixFilePermission> SO_O_DONO = PosixFilePermissions.fromString("rwx------");
    private static final int S_IFMT = 0170000;
    private static final int S_IFDIR = 0040000;
    private static final int S_IFREG = 0100000;
    private static final int S_IFLNK = 0120000;
    private static final int ESCRITA_DE_OUTROS = 0022;

    final PonteDoPacote origem;
    final String pasta;
    final String caminho;
    // What the copy was when its sha256 was last found right: device, inode, size, time.
    private List<Object> conferida;

    CopiaDaPonte(PonteDoPacote origem, String pasta, String versao) {
        this.origem = origem;
        this.pasta = pasta;
        String sufixo = origem.chave.startsWith("win-") ? ".exe" : "";
        this.caminho = Paths.get(pasta, Localizacao.NOME + "-" + versao + "-" + origem.chave + "-"
            + origem.sha256.substring(0, 16) + sufixo).toString();
    }

    /** The copy's path, once the folder and the copy are checked; placed first if missing. */
    synchronized String pronta() {
        conferirPasta();
        if (!conferirCopia()) {
            colocar();
            if (!conferirCopia()) {
                throw new PonteNaoIniciadaException("não foi possível iniciar a ponte " + caminho + ": No such file or directory", caminho);
            }
        }
        return caminho;
    }

    /** What lstat says: the mode bits and owner on POSIX; on Windows, the kind only. */
    private static final class Estado {
        int tipo;
        int modo;
        long dono;
        List<Object> marca;
    }

    private static Estado estado(Path caminho) throws IOException {
        Estado estado = new Estado();
        if (POSIX) {
            Map<String, Object> unix = Files.readAttributes(caminho, "unix:mode,uid,dev,ino,size,lastModifiedTime,ctime",
                LinkOption.NOFOLLOW_LINKS);
            int modo = (Integer) unix.get("mode");
            estado.tipo = modo & S_IFMT;
            estado.modo = modo;
            estado.dono = ((Number) unix.get("uid")).longValue();
            estado.marca = Arrays.asList(unix.get("dev"), unix.get("ino"), unix.get("size"), unix.get("lastModifiedTime"),
                unix.get("ctime"));
        } else {
            BasicFileAttributes basicos = Files.readAttributes(caminho, BasicFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
            estado.tipo = basicos.isSymbolicLink() ? S_IFLNK : basicos.isDirectory() ? S_IFDIR
                : basicos.isRegularFile() ? S_IFREG : 0;
            estado.marca = Arrays.asList(basicos.fileKey(), basicos.size(), basicos.lastModifiedTime(), basicos.creationTime());
        }
        return estado;
    }

    private void conferirPasta() {
        Path lugar = Paths.get(pasta);
        Estado estado;
        try {
            estado = estado(lugar);
        } catch (NoSuchFileException ausente) {
            try {
                Path pai = lugar.toAbsolutePath().getParent();
                if (pai != null) {
                    Files.createDirectories(pai);
                }
                if (POSIX) {
                    Files.createDirectory(lugar, PosixFilePermissions.asFileAttribute(SO_O_DONO));
                    Files.setPosixFilePermissions(lugar, SO_O_DONO); // whatever the umask took away
                } else {
                    Files.createDirectory(lugar);
                }
            } catch (FileAlreadyExistsException outro) {
                // Another host made it first: it is checked like any other.
            } catch (IOException erro) {
                throw new PonteNaoIniciadaException("não foi possível criar a pasta " + pasta + ": " + motivo(erro), null, erro);
            }
            try {
                estado = estado(lugar);
            } catch (IOException erro) {
                throw new PonteNaoIniciadaException("não foi possível criar a pasta " + pasta + ": " + motivo(erro), null, erro);
            }
        } catch (IOException erro) {
            throw new PonteNaoIniciadaException("não foi possível criar a pasta " + pasta + ": " + motivo(erro), null, erro);
        }
        if (estado.tipo == S_IFLNK) {
            throw new LocalInseguroException(pasta, "é um link simbólico");
        }
        if (estado.tipo != S_IFDIR) {
            throw new LocalInseguroException(pasta, "não é uma pasta");
        }
        if (POSIX) {
            if (estado.dono != Usuario.efetivo()) {
                throw new LocalInseguroException(pasta, "a pasta pertence a outro usuário");
            }
            if ((estado.modo & ESCRITA_DE_OUTROS) != 0) {
                throw new LocalInseguroException(pasta, "a pasta pode ser alterada por outros usuários");
            }
        }
    }

    /** Checks the copy; false when there is none yet. */
    private boolean conferirCopia() {
        Path copia = Paths.get(caminho);
        Estado estado;
        try {
            estado = estado(copia);
        } catch (NoSuchFileException ausente) {
            return false;
        } catch (IOException erro) {
            throw new PonteNaoIniciadaException("não foi possível iniciar a ponte " + caminho + ": " + motivo(erro), caminho, erro);
        }
        if (estado.tipo == S_IFLNK) {
            throw new LocalInseguroException(caminho, "é um link simbólico");
        }
        if (estado.tipo != S_IFREG) {
            throw new LocalInseguroException(caminho, "não é um arquivo comum");
        }
        if (POSIX) {
            if (estado.dono != Usuario.efetivo()) {
                throw new LocalInseguroException(caminho, "a cópia da ponte pertence a outro usuário");
            }
            if ((estado.modo & ESCRITA_DE_OUTROS) != 0) {
                throw new LocalInseguroException(caminho, "a cópia da ponte pode ser alterada por outros usuários");
            }
        }
        if (estado.marca.equals(conferida)) {
            return true;
        }
        String resumo;
        // Never through a link: one put there after the check above fails to open.
        try (InputStream dados = Files.newInputStream(copia, StandardOpenOption.READ, LinkOption.NOFOLLOW_LINKS)) {
            resumo = sha256(dados, null);
        } catch (IOException erro) {
            if (Files.isSymbolicLink(copia)) {
                throw new LocalInseguroException(caminho, "é um link simbólico");
            }
            throw new PonteNaoIniciadaException("não foi possível iniciar a ponte " + caminho + ": " + motivo(erro), caminho, erro);
        }
        if (!resumo.equals(origem.sha256)) {
            throw new LocalInseguroException(caminho, "a cópia da ponte não confere com a do pacote");
        }
        conferida = estado.marca;
        return true;
    }

    private void colocar() {
        byte[] aleatorio = new byte[8];
        new SecureRandom().nextBytes(aleatorio);
        Path temporario = Paths.get(pasta, "." + Localizacao.NOME + "-" + hexadecimal(aleatorio) + ".tmp");
        // Created exclusively: a name already there, a link included, fails.
        Set<OpenOption> modo = Set.of(StandardOpenOption.WRITE, StandardOpenOption.CREATE_NEW, LinkOption.NOFOLLOW_LINKS);
        FileAttribute<?>[] atributos = POSIX
            ? new FileAttribute<?>[] {PosixFilePermissions.asFileAttribute(SO_O_DONO)} : new FileAttribute<?>[0];
        try {
            try (FileChannel destino = FileChannel.open(temporario, modo, atributos);
                 InputStream fonte = origem.fonte.abrir()) {
                String resumo = sha256(fonte, destino);
                destino.force(true);
                if (!resumo.equals(origem.sha256)) {
                    throw new PonteNaoIniciadaException("a ponte do pacote " + origem.caminho
                        + " não confere com o sha256 que o pacote traz", origem.caminho);
                }
            }
            if (POSIX) {
                Files.setPosixFilePermissions(temporario, SO_O_DONO);
            }
            try {
                Files.move(temporario, Paths.get(caminho), StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
            } catch (AccessDeniedException emUso) {
                // Windows: another host placed it and is running it. That one is checked instead.
                if (POSIX) {
                    throw emUso;
                }
            }
        } catch (IOException erro) {
            throw new PonteNaoIniciadaException("não foi possível iniciar a ponte " + caminho + ": " + motivo(erro), caminho, erro);
        } finally {
            try {
                Files.deleteIfExists(temporario);
            } catch (IOException ignorado) {
                // Nothing better to do: the name is random, it hurts nobody.
            }
        }
    }

    /** The sha256 of what {@code fonte} gives, copied into {@code destino} when there is one. */
    private static String sha256(InputStream fonte, FileChannel destino) throws IOException {
        MessageDigest resumo;
        try {
            resumo = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException impossivel) {
            throw new IllegalStateException(impossivel);
        }
        byte[] bloco = new byte[65536];
        int lidos;
        while ((lidos = fonte.read(bloco)) > 0) {
            resumo.update(bloco, 0, lidos);
            if (destino != null) {
                ByteBuffer escrita = ByteBuffer.wrap(bloco, 0, lidos);
                while (escrita.hasRemaining()) {
                    destino.write(escrita);
                }
            }
        }
        return hexadecimal(resumo.digest());
    }

    static String hexadecimal(byte[] dados) {
        StringBuilder texto = new StringBuilder(2 * dados.length);
        for (byte b : dados) {
            texto.append(Character.forDigit((b >> 4) & 0xF, 16)).append(Character.forDigit(b & 0xF, 16));
        }
        return texto.toString();
    }

    /** The system's reason, as briefly as Java gives it. */
    static String motivo(IOException erro) {
        if (erro instanceof AccessDeniedException) {
            return "Permission denied";
        }
        if (erro instanceof NoSuchFileException) {
            return "No such file or directory";
        }
        if (erro instanceof FileSystemException && ((FileSystemException) erro).getReason() != null) {
            return ((FileSystemException) erro).getReason();
        }
        return Objects.toString(erro.getMessage(), erro.getClass().getSimpleName());
    }
}
