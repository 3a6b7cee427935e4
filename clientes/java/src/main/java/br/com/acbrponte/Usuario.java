package br.com.acbrponte;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Paths;

/** The effective user id of this process, which owns what it creates. Java has no call for it;
 * Linux gives it in /proc (the only POSIX system with packaged bridges). */
final class Usuario {
    private Usuario() {
    }

    static long efetivo() {
        try {
            for (String linha : Files.readAllLines(Paths.get("/proc/self/status"))) {
                if (linha.startsWith("Uid:")) {
                    return Long.parseLong(linha.substring(4).trim().split("\\s+")[1]);
                }
            }
        } catch (IOException | RuntimeException erro) {
            // Not Linux: the owner of this process's own entry, where there is one.
        }
        try {
            return ((Number) Files.getAttribute(Paths.get("/proc/self"), "unix:uid", LinkOption.NOFOLLOW_LINKS)).longValue();
        } catch (IOException | RuntimeException erro) {
            return -1;
        }
    }
}
