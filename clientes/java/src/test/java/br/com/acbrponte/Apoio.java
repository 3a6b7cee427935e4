package br.com.acbrponte;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermission;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/** What the tests share: where the built bridge, its stand-ins and the table of client cases are,
 * and what this process has left behind. The tests run the real bridge named by ACBR_PONTE
 * (tools/testar-cliente-java.sh sets it to &lt;build&gt;/acbr-ponte). */
final class Apoio {
    private Apoio() {
    }

    static final String PONTE = System.getenv().getOrDefault("ACBR_PONTE", "");
    static final Path BUILD = PONTE.isEmpty() ? Paths.get("") : Paths.get(PONTE).toAbsolutePath().getParent();
    static final Path FALSA_C = BUILD.resolve("acbr");
    static final Path FALSA_PASCAL = BUILD.resolve("falsa").resolve("pascal");
    static final Path VARIANTES = BUILD.resolve("falsa");
    static final Path CASOS = casos();
    static final String SEM_PONTE = "ACBR_PONTE does not name a built acbr-ponte (tools/testar-cliente-java.sh sets it)";
    static final String SEM_PASCAL = "the Free Pascal stand-in was not built (fpc missing)";
    static final Versao ESPERADA = new Versao("ACBrLibNFe (falsa)", "0.0.0-falsa");

    /** The table and the simulated bridges every client shares (clientes/casos), beside this
     * client in the repository, or where ACBR_PONTE_CASOS says. */
    private static Path casos() {
        String dado = System.getenv().getOrDefault("ACBR_PONTE_CASOS", "");
        for (Path pasta : new Path[] {dado.isEmpty() ? null : Paths.get(dado), Paths.get("..", "casos"), Paths.get("clientes", "casos")}) {
            if (pasta != null && Files.isDirectory(pasta)) {
                return pasta.toAbsolutePath().normalize();
            }
        }
        return Paths.get("casos-nao-encontrados");
    }

    static boolean haPonte() {
        return !PONTE.isEmpty() && Files.isExecutable(Paths.get(PONTE));
    }

    static boolean haPascal() throws IOException {
        if (!Files.isDirectory(FALSA_PASCAL)) {
            return false;
        }
        try (Stream<Path> nomes = Files.list(FALSA_PASCAL)) {
            return nomes.anyMatch(p -> p.toString().endsWith(".so") || p.toString().endsWith(".dll"));
        }
    }

    /** The library's file name on this platform, as the C stand-in was built. */
    static String arquivoDaBiblioteca() throws IOException {
        try (Stream<Path> nomes = Files.list(FALSA_C)) {
            return nomes.map(p -> p.getFileName().toString()).filter(n -> n.endsWith(".so") || n.endsWith(".dll"))
                .sorted().findFirst().orElseThrow();
        }
    }

    /** This process's children, zombies included. */
    static List<Long> filhos() {
        return ProcessHandle.current().children().map(ProcessHandle::pid).collect(Collectors.toList());
    }

    /** The pipes this process holds open. */
    static long pipes() throws IOException {
        try (Stream<Path> fds = Files.list(Paths.get("/proc/self/fd"))) {
            return fds.filter(fd -> {
                try {
                    return Files.readSymbolicLink(fd).toString().startsWith("pipe:");
                } catch (IOException e) {
                    return false;
                }
            }).count();
        }
    }

    /** The threads of the client's own that are alive. */
    static List<String> threadsDaPonte() {
        return Thread.getAllStackTraces().keySet().stream().filter(Thread::isAlive).map(Thread::getName)
            .filter(n -> n.startsWith("acbr-ponte")).collect(Collectors.toList());
    }

    /** The state letter of a process (Z: zombie), or '?' when it is gone. */
    static char estadoDoProcesso(long pid) {
        try {
            String dados = new String(Files.readAllBytes(Paths.get("/proc/" + pid + "/stat")), StandardCharsets.UTF_8);
            return dados.charAt(dados.lastIndexOf(')') + 2);
        } catch (IOException e) {
            return '?';
        }
    }

    static Set<PosixFilePermission> permissoes(int modo) {
        Set<PosixFilePermission> todas = EnumSet.noneOf(PosixFilePermission.class);
        PosixFilePermission[] ordem = {
            PosixFilePermission.OTHERS_EXECUTE, PosixFilePermission.OTHERS_WRITE, PosixFilePermission.OTHERS_READ,
            PosixFilePermission.GROUP_EXECUTE, PosixFilePermission.GROUP_WRITE, PosixFilePermission.GROUP_READ,
            PosixFilePermission.OWNER_EXECUTE, PosixFilePermission.OWNER_WRITE, PosixFilePermission.OWNER_READ,
        };
        for (int i = 0; i < ordem.length; i++) {
            if ((modo & (1 << i)) != 0) {
                todas.add(ordem[i]);
            }
        }
        return todas;
    }

    static String sha256(Path arquivo) throws Exception {
        return CopiaDaPonte.hexadecimal(java.security.MessageDigest.getInstance("SHA-256").digest(Files.readAllBytes(arquivo)));
    }

    /** A package folder laid out as in the jar, with {@code fonte} as the bridge for {@code chave}. */
    static String empacotar(Path pacote, String chave, Path fonte) throws Exception {
        Path pasta = Files.createDirectories(pacote.resolve(chave));
        Files.copy(fonte, pasta.resolve(PonteDoPacote.nome(chave)), java.nio.file.StandardCopyOption.COPY_ATTRIBUTES,
            java.nio.file.StandardCopyOption.REPLACE_EXISTING);
        String resumo = sha256(fonte);
        Files.write(pasta.resolve("acbr-ponte.sha256"), (resumo + "  " + PonteDoPacote.nome(chave) + "\n").getBytes(StandardCharsets.US_ASCII));
        return resumo;
    }

    static void apagar(Path pasta) throws Exception {
        // Folders the rows made unreadable are opened again first (links are not followed).
        new ProcessBuilder("sh", "-c", "chmod -R u+rwx \"$1\" 2>/dev/null; rm -rf \"$1\"", "-", pasta.toString())
            .inheritIO().start().waitFor();
    }
}
