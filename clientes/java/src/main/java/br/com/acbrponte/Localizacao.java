package br.com.acbrponte;

import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Locale;
import java.util.Map;

/** Where the bridge comes from: the path given, ACBR_PONTE, the bridge in this package for the
 * platform, or acbr-ponte on PATH. */
final class Localizacao {
    private Localizacao() {
    }

    static final String NOME = "acbr-ponte";
    private static final String SISTEMA = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
    static final boolean LINUX = SISTEMA.startsWith("linux");
    static final boolean WINDOWS = SISTEMA.startsWith("windows");

    static final String NAO_ENCONTRADA = "acbr-ponte não encontrado: dê o caminho da ponte, defina ACBR_PONTE, instale o "
        + "pacote com a ponte desta plataforma ou ponha acbr-ponte no PATH";

    /** {@code linux-x64}, {@code win-x86}, ...: the system and the word size of this process, or
     * of {@code arquitetura}; null where no bridge is packaged (the library exists for neither). */
    static String chave(Arquitetura arquitetura) {
        String sistema = LINUX ? "linux" : WINDOWS ? "win" : null;
        if (sistema == null) {
            return null;
        }
        if (arquitetura != null) {
            return sistema + "-" + arquitetura.nome();
        }
        switch (System.getProperty("os.arch", "")) {
            case "amd64":
            case "x86_64":
                return sistema + "-x64";
            case "x86":
            case "i386":
            case "i486":
            case "i586":
            case "i686":
                return sistema + "-x86";
            default:
                return null;
        }
    }

    /** {@code acbr-ponte} ({@code acbr-ponte.exe} on Windows) in a folder of PATH, or null. */
    static String noPath(Map<String, String> ambiente) {
        String path = ambiente.get("PATH");
        if (path == null && WINDOWS) {
            path = ambiente.entrySet().stream().filter(e -> e.getKey().equalsIgnoreCase("PATH"))
                .map(Map.Entry::getValue).findFirst().orElse(null);
        }
        if (path == null) {
            return null;
        }
        String nome = NOME + (WINDOWS ? ".exe" : "");
        for (String pasta : path.split(File.pathSeparator)) {
            if (pasta.isEmpty()) {
                continue;
            }
            Path candidato = Paths.get(pasta, nome);
            if (Files.isRegularFile(candidato) && Files.isExecutable(candidato)) {
                return candidato.toString();
            }
        }
        return null;
    }

    /** On Windows, a path given without {@code .exe} names the file with it, when only that exists. */
    static String comExe(String caminho) {
        if (WINDOWS && !new File(caminho).exists() && new File(caminho + ".exe").exists()) {
            return caminho + ".exe";
        }
        return caminho;
    }

    /** The per-user folder where the packaged bridge is placed. */
    static String pastaPorUsuario(Map<String, String> ambiente) {
        if (WINDOWS) {
            String base = ambiente.get("LOCALAPPDATA");
            if (base == null || base.isEmpty()) {
                base = Paths.get(System.getProperty("user.home"), "AppData", "Local").toString();
            }
            return Paths.get(base, NOME).toString();
        }
        String base = ambiente.getOrDefault("XDG_DATA_HOME", "");
        if (!base.startsWith("/")) {
            String casa = ambiente.getOrDefault("HOME", "");
            if (casa.isEmpty()) {
                casa = System.getProperty("user.home");
            }
            base = Paths.get(casa, ".local", "share").toString();
        }
        return Paths.get(base, NOME).toString();
    }
}
