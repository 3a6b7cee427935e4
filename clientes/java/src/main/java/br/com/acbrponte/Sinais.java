package br.com.acbrponte;

/** The names of the signals that can end a bridge (Linux's numbering; other systems share only
 * the POSIX-fixed ones). */
final class Sinais {
    private Sinais() {
    }

    private static final String[] LINUX = {
        null, "SIGHUP", "SIGINT", "SIGQUIT", "SIGILL", "SIGTRAP", "SIGABRT", "SIGBUS", "SIGFPE",
        "SIGKILL", "SIGUSR1", "SIGSEGV", "SIGUSR2", "SIGPIPE", "SIGALRM", "SIGTERM", "SIGSTKFLT",
        "SIGCHLD", "SIGCONT", "SIGSTOP", "SIGTSTP", "SIGTTIN", "SIGTTOU", "SIGURG", "SIGXCPU",
        "SIGXFSZ", "SIGVTALRM", "SIGPROF", "SIGWINCH", "SIGIO", "SIGPWR", "SIGSYS",
    };

    private static final String[] POSIX = {
        null, "SIGHUP", "SIGINT", "SIGQUIT", "SIGILL", "SIGTRAP", "SIGABRT", null, "SIGFPE",
        "SIGKILL", null, "SIGSEGV", null, "SIGPIPE", "SIGALRM", "SIGTERM",
    };

    /** The highest signal number; the runtime reports a process a signal ended as 128 + it. */
    static final int MAIOR = 64;

    /** "SIGSEGV" for 11, ...; null for a number without a name here. */
    static String nome(int numero) {
        if (Localizacao.LINUX) {
            if (numero > 0 && numero < LINUX.length) {
                return LINUX[numero];
            }
            return numero == 34 ? "SIGRTMIN" : numero == 64 ? "SIGRTMAX" : null;
        }
        return numero > 0 && numero < POSIX.length ? POSIX[numero] : null;
    }
}
