using System.Runtime.InteropServices;

namespace AcbrPonte;

/// <summary>The names of the signals that can end a bridge.</summary>
internal static class Sinais
{
    // Linux's numbering (x86, x86-64, ARM); other systems share only the POSIX-fixed ones below.
    private static readonly string?[] Linux =
    {
        null, "SIGHUP", "SIGINT", "SIGQUIT", "SIGILL", "SIGTRAP", "SIGABRT", "SIGBUS", "SIGFPE",
        "SIGKILL", "SIGUSR1", "SIGSEGV", "SIGUSR2", "SIGPIPE", "SIGALRM", "SIGTERM", "SIGSTKFLT",
        "SIGCHLD", "SIGCONT", "SIGSTOP", "SIGTSTP", "SIGTTIN", "SIGTTOU", "SIGURG", "SIGXCPU",
        "SIGXFSZ", "SIGVTALRM", "SIGPROF", "SIGWINCH", "SIGIO", "SIGPWR", "SIGSYS",
    };

    private static readonly string?[] Posix =
    {
        null, "SIGHUP", "SIGINT", "SIGQUIT", "SIGILL", "SIGTRAP", "SIGABRT", null, "SIGFPE",
        "SIGKILL", null, "SIGSEGV", null, "SIGPIPE", "SIGALRM", "SIGTERM",
    };

    /// <summary>The highest signal number; the runtime reports a process a signal ended as
    /// 128 + its number.</summary>
    internal const int Maior = 64;

    /// <summary>"SIGSEGV" for 11, ...; null for a number without a name here.</summary>
    internal static string? Nome(int numero)
    {
        if (RuntimeInformation.IsOSPlatform(OSPlatform.Linux))
        {
            if (numero > 0 && numero < Linux.Length)
            {
                return Linux[numero];
            }
            return numero == 34 ? "SIGRTMIN" : numero == 64 ? "SIGRTMAX" : null;
        }
        return numero > 0 && numero < Posix.Length ? Posix[numero] : null;
    }
}
