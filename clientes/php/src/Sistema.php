<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * What the system says, in the forms PHP gives it: the reason of a failed file operation (PHP
 * reports it as a warning, not a value) and the user the host runs as.
 *
 * @internal
 */
final class Sistema
{
    private static ?int $uidEfetivo = null;

    /**
     * Runs $operacao with warnings caught: its result, and the reason of the last warning (the
     * system's text, without PHP's "function(): " in front) or null.
     *
     * @template T
     * @param callable(): T $operacao
     * @return array{0: T, 1: ?string}
     */
    public static function chamar(callable $operacao): array
    {
        $motivo = null;
        set_error_handler(static function (int $nivel, string $mensagem) use (&$motivo): bool {
            $motivo = preg_replace('/^[\w:\\\\]+\([^)]*\): (?:Failed to open stream: )?/', '', $mensagem);
            return true;
        });
        try {
            $resultado = $operacao();
        } finally {
            restore_error_handler();
        }
        return [$resultado, $motivo];
    }

    /**
     * The effective uid, for comparing owners: posix_geteuid() where the posix extension is,
     * else the owner of a file this process creates (files are created with the effective uid).
     */
    public static function uidEfetivo(): int
    {
        if (self::$uidEfetivo === null) {
            if (function_exists('posix_geteuid')) {
                self::$uidEfetivo = posix_geteuid();
            } else {
                $arquivo = tmpfile();
                $info = $arquivo === false ? false : fstat($arquivo);
                if ($info === false) {
                    throw new PonteNaoIniciadaException('não foi possível saber o usuário do processo');
                }
                fclose($arquivo);
                self::$uidEfetivo = $info['uid'];
            }
        }
        return self::$uidEfetivo;
    }

    /** The sha256 of $dados in hexadecimal: OpenSSL's where PHP has it (several times faster). */
    public static function sha256(string $dados): string
    {
        if (function_exists('openssl_digest')) {
            $resumo = openssl_digest($dados, 'sha256');
            if (is_string($resumo)) {
                return $resumo;
            }
        }
        return hash('sha256', $dados);
    }

    /** Why $caminho cannot be run: the system's text (posix), or the usual one. */
    public static function motivoParaNaoExecutar(string $caminho): ?string
    {
        if (!function_exists('proc_open')) {
            return 'proc_open() está desabilitada nesta instalação do PHP (disable_functions)';
        }
        clearstatcache();
        if (function_exists('posix_access')) {
            if (posix_access($caminho, POSIX_X_OK) && is_file($caminho)) {
                return null;
            }
            $numero = posix_get_last_error();
            return $numero !== 0 ? posix_strerror($numero) : 'Permission denied';
        }
        if (is_file($caminho) && is_executable($caminho)) {
            return null;
        }
        return file_exists($caminho) ? 'Permission denied' : 'No such file or directory';
    }
}
