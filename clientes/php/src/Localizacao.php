<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * Where the bridge comes from: the path given, ACBR_PONTE, the bridge in this package for the
 * platform, or acbr-ponte on PATH; and the per-user folder the package's bridge is copied to.
 *
 * @internal
 */
final class Localizacao
{
    public const NOME_DO_EXECUTAVEL = 'acbr-ponte';
    public const ARQUITETURAS = ['x64', 'x86'];
    private const X86 = ['x86_64', 'amd64', 'x64', 'i386', 'i486', 'i586', 'i686', 'x86'];

    /**
     * Where the package keeps its bridges, bin/<key>/acbr-ponte[.exe] and acbr-ponte.sha256; null:
     * the package's own bin/. Only the tests change it.
     */
    public static ?string $pastaDoPacote = null;

    /**
     * linux-x64, win-x86...: the system and the word size of this PHP, or of $arquitetura; null
     * where no bridge is packaged (the library exists for neither).
     */
    public static function chaveDaPlataforma(?string $arquitetura): ?string
    {
        $sistema = match (PHP_OS_FAMILY) {
            'Linux' => 'linux',
            'Windows' => 'win',
            default => null,
        };
        if ($sistema === null) {
            return null;
        }
        if ($arquitetura === null) {
            if (!in_array(strtolower(php_uname('m')), self::X86, true)) {
                return null;
            }
            $arquitetura = PHP_INT_SIZE === 8 ? 'x64' : 'x86';
        }
        return "{$sistema}-{$arquitetura}";
    }

    /** The packaged bridge for $chave, or null when this package carries none for it. */
    public static function ponteDoPacote(string $chave): ?PonteDoPacote
    {
        $pacote = self::$pastaDoPacote ?? dirname(__DIR__) . DIRECTORY_SEPARATOR . 'bin';
        $base = $pacote . DIRECTORY_SEPARATOR . $chave . DIRECTORY_SEPARATOR . self::NOME_DO_EXECUTAVEL;
        $caminho = $base . (str_starts_with($chave, 'win-') ? '.exe' : '');
        if (!is_file($caminho)) {
            return null;
        }
        [$conteudo] = Sistema::chamar(
            static fn () => file_get_contents($base . '.sha256', false, null, 0, 64),
        );
        if (!is_string($conteudo) || preg_match('/^[0-9a-f]{64}$/D', $conteudo) !== 1) {
            throw new PonteNaoIniciadaException(
                "a ponte do pacote {$caminho} não confere com o sha256 que o pacote traz",
                $caminho,
            );
        }
        return new PonteDoPacote($chave, $caminho, $conteudo);
    }

    /** acbr-ponte on PATH, or null. */
    public static function noPath(): ?string
    {
        return self::procurarNoPath(self::NOME_DO_EXECUTAVEL . (PHP_OS_FAMILY === 'Windows' ? '.exe' : ''));
    }

    /** An executable file named $nome in a folder of PATH, as execvp() would find it. */
    public static function procurarNoPath(string $nome): ?string
    {
        $path = getenv('PATH');
        foreach (explode(PATH_SEPARATOR, $path === false ? '' : $path) as $pasta) {
            $caminho = ($pasta === '' ? '.' : rtrim($pasta, '/\\')) . DIRECTORY_SEPARATOR . $nome;
            if (is_file($caminho) && is_executable($caminho)) {
                return $caminho;
            }
        }
        return null;
    }

    /** On Windows, a path given without .exe names the file with it, when only that exists. */
    public static function comExe(string $caminho): string
    {
        if (PHP_OS_FAMILY === 'Windows' && !file_exists($caminho) && file_exists($caminho . '.exe')) {
            return $caminho . '.exe';
        }
        return $caminho;
    }

    /** The per-user folder where the package's bridge is placed. */
    public static function pastaPorUsuario(): string
    {
        $nome = DIRECTORY_SEPARATOR . self::NOME_DO_EXECUTAVEL;
        if (PHP_OS_FAMILY === 'Windows') {
            $base = getenv('LOCALAPPDATA');
            if ($base === false || $base === '') {
                $base = self::casa('%USERPROFILE%\\AppData\\Local' . $nome) . '\\AppData\\Local';
            }
            return $base . $nome;
        }
        $base = getenv('XDG_DATA_HOME');
        if ($base === false || !str_starts_with($base, '/')) {
            $base = self::casa('~/.local/share' . $nome) . '/.local/share';
        }
        return $base . $nome;
    }

    /** The user's home folder; $pasta names the folder wanted there, for the error. */
    private static function casa(string $pasta): string
    {
        $casa = getenv(PHP_OS_FAMILY === 'Windows' ? 'USERPROFILE' : 'HOME');
        if (($casa === false || $casa === '') && function_exists('posix_getpwuid')) {
            $usuario = posix_getpwuid(Sistema::uidEfetivo());
            $casa = $usuario === false ? false : $usuario['dir'];
        }
        if ($casa === false || $casa === '') {
            throw new PonteNaoIniciadaException(
                "não foi possível criar a pasta {$pasta}: a pasta do usuário é desconhecida",
            );
        }
        return $casa;
    }
}
