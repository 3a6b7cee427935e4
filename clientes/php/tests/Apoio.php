<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

/**
 * What the tests share: where the built bridge, its stand-ins and the table of client cases are,
 * the environment, and what this process has left in /proc.
 *
 * The tests run the real bridge named by ACBR_PONTE when they start; the stand-ins are found where
 * the build puts them: <build>/acbr (C), <build>/falsa/pascal (Free Pascal, absent without fpc)
 * and <build>/falsa/<variant>.
 */
final class Apoio
{
    public const ESPERADA = 'ACBrLibNFe (falsa)';
    public const SEM_PONTE = 'ACBR_PONTE does not name a built acbr-ponte (tools/testar-cliente-php.sh sets it)';
    public const SEM_PASCAL = 'the Free Pascal stand-in was not built (fpc missing)';
    public const OUTRO_USUARIO = 65534;

    private static ?string $ponte = null;

    /** The built bridge, as ACBR_PONTE named it when the tests started (rows change ACBR_PONTE). */
    public static function ponte(): string
    {
        if (self::$ponte === null) {
            $ponte = getenv('ACBR_PONTE');
            self::$ponte = $ponte === false ? '' : $ponte;
        }
        return self::$ponte;
    }

    public static function haPonte(): bool
    {
        return self::ponte() !== '' && is_executable(self::ponte());
    }

    public static function build(): string
    {
        return dirname((string) realpath(self::ponte()));
    }

    public static function falsaC(): string
    {
        return self::build() . '/acbr';
    }

    public static function falsaPascal(): string
    {
        return self::build() . '/falsa/pascal';
    }

    public static function variantes(): string
    {
        return self::build() . '/falsa';
    }

    public static function haPascal(): bool
    {
        return glob(self::falsaPascal() . '/*.{so,dll}', GLOB_BRACE) !== [];
    }

    /** The shared table and its simulated bridges (clientes/casos), or where ACBR_PONTE_CASOS says. */
    public static function casos(): string
    {
        $outra = getenv('ACBR_PONTE_CASOS');
        foreach ([$outra === false ? '' : $outra, dirname(__DIR__, 2) . '/casos'] as $pasta) {
            if ($pasta !== '' && is_dir($pasta)) {
                return $pasta;
            }
        }
        return '';
    }

    public static function pontesSimuladas(): string
    {
        return self::casos() . '/pontes';
    }

    /** The library's file name on this platform, as the C stand-in was built. */
    public static function arquivoDaBiblioteca(): string
    {
        $achados = glob(self::falsaC() . '/*.{so,dll}', GLOB_BRACE);
        return basename((string) ($achados[0] ?? ''));
    }

    /** Sets (or, for null, removes) a variable of this process's environment. */
    public static function definir(string $nome, ?string $valor): void
    {
        putenv($valor === null ? $nome : "{$nome}={$valor}");
    }

    public static function linux(): bool
    {
        return PHP_OS_FAMILY === 'Linux';
    }

    /**
     * This process's children, zombies included, with their state letter (Z: zombie).
     *
     * @return array<int, string>
     */
    public static function filhos(): array
    {
        $achados = [];
        foreach (scandir('/proc') ?: [] as $nome) {
            if (preg_match('/^\d+$/D', $nome) !== 1) {
                continue;
            }
            $dados = @file_get_contents("/proc/{$nome}/stat");
            if ($dados === false) {
                continue;
            }
            // The command name may hold spaces and parentheses: the fields follow the last ')'.
            [$estado, $pai] = explode(' ', substr($dados, strrpos($dados, ')') + 2));
            if ((int) $pai === getmypid()) {
                $achados[(int) $nome] = $estado;
            }
        }
        return $achados;
    }

    /** The state letter of a process (Z: zombie), or '?' when it is gone. */
    public static function estadoDoProcesso(int $pid): string
    {
        $dados = @file_get_contents("/proc/{$pid}/stat");
        return $dados === false ? '?' : $dados[strrpos($dados, ')') + 2];
    }

    public static function descritores(): int
    {
        return count(scandir('/proc/self/fd') ?: []) - 2;
    }

    public static function matar(int $pid): void
    {
        if (function_exists('posix_kill')) {
            posix_kill($pid, 9);
        } else {
            exec('/bin/kill -9 ' . $pid);
        }
    }

    /** A fresh folder under the system's temporary folder. */
    public static function pastaTemporaria(string $prefixo): string
    {
        $pasta = sys_get_temp_dir() . '/' . $prefixo . bin2hex(random_bytes(6));
        mkdir($pasta, 0700);
        return $pasta;
    }

    /** Removes a folder and all it holds, whatever modes its folders were left with. */
    public static function apagar(string $caminho): void
    {
        if (is_link($caminho) || is_file($caminho)) {
            unlink($caminho);
            return;
        }
        if (!is_dir($caminho)) {
            return;
        }
        chmod($caminho, 0700);
        foreach (scandir($caminho) ?: [] as $nome) {
            if ($nome !== '.' && $nome !== '..') {
                self::apagar($caminho . '/' . $nome);
            }
        }
        rmdir($caminho);
    }

    /**
     * Runs a PHP host program (a file of tests/hosts) with this package loadable; its exit code,
     * standard output and standard error.
     *
     * @param list<string> $argumentos
     * @param array<string, string|null> $ambiente variables set (null: removed) for it
     * @return array{0: int, 1: string, 2: string}
     */
    public static function executarHost(
        string $programa,
        array $argumentos = [],
        array $ambiente = [],
        string $entrada = '',
    ): array {
        $variaveis = getenv();
        foreach ($ambiente as $nome => $valor) {
            if ($valor === null) {
                unset($variaveis[$nome]);
            } else {
                $variaveis[$nome] = $valor;
            }
        }
        $processo = proc_open(
            [PHP_BINARY, __DIR__ . '/hosts/' . $programa, ...$argumentos],
            [['pipe', 'r'], ['pipe', 'w'], ['pipe', 'w']],
            $canos,
            null,
            $variaveis,
        );
        fwrite($canos[0], $entrada);
        fclose($canos[0]);
        $saida = stream_get_contents($canos[1]);
        $erro = stream_get_contents($canos[2]);
        fclose($canos[1]);
        fclose($canos[2]);
        return [proc_close($processo), (string) $saida, (string) $erro];
    }
}
