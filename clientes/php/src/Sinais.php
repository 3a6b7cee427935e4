<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * Signal names, for the message and the attribute of PonteEncerradaException.
 *
 * @internal
 */
final class Sinais
{
    // Linux's numbering on x86 and ARM, used when pcntl is missing.
    private const LINUX = [
        1 => 'SIGHUP', 'SIGINT', 'SIGQUIT', 'SIGILL', 'SIGTRAP', 'SIGABRT', 'SIGBUS', 'SIGFPE', 'SIGKILL',
        'SIGUSR1', 'SIGSEGV', 'SIGUSR2', 'SIGPIPE', 'SIGALRM', 'SIGTERM', 'SIGSTKFLT', 'SIGCHLD', 'SIGCONT',
        'SIGSTOP', 'SIGTSTP', 'SIGTTIN', 'SIGTTOU', 'SIGURG', 'SIGXCPU', 'SIGXFSZ', 'SIGVTALRM', 'SIGPROF',
        'SIGWINCH', 'SIGIO', 'SIGPWR', 'SIGSYS',
    ];
    // Second names pcntl gives some numbers; the usual name is the other one.
    private const APELIDOS = ['SIGIOT', 'SIGCLD', 'SIGPOLL', 'SIGBABY', 'SIGRTMIN', 'SIGRTMAX'];

    /** @var array<int, string>|null */
    private static ?array $nomes = null;

    public static function nome(int $numero): ?string
    {
        self::$nomes ??= self::nomes();
        return self::$nomes[$numero] ?? null;
    }

    /** @return array<int, string> */
    private static function nomes(): array
    {
        $constantes = get_defined_constants(true)['pcntl'] ?? null;
        if ($constantes === null) {
            return PHP_OS_FAMILY === 'Linux' ? self::LINUX : [];
        }
        $nomes = [];
        foreach ($constantes as $nome => $numero) {
            $sinal = is_int($numero) && preg_match('/^SIG[A-Z0-9]+$/', $nome) === 1;
            if ($sinal && !in_array($nome, self::APELIDOS, true)) {
                $nomes[$numero] ??= $nome;
            }
        }
        return $nomes;
    }
}
