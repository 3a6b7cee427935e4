<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The copy of the package's bridge in the configuration folder: the library keeps its
 * configuration file beside the running executable, which must then be a folder of the user's
 * own, never the installed package. Placed once (under a temporary name, checked against the
 * package's sha256, renamed into place) and checked again before every start: nothing runs from a
 * folder or a copy that someone else could change.
 *
 * @internal
 */
final class CopiaDaPonte
{
    private const TIPO = 0170000;
    private const LINK = 0120000;
    private const PASTA = 0040000;
    private const ARQUIVO = 0100000;
    // Whether the copy and its folder are checked for owner and mode (Windows leaves them to the
    // folder's access list).
    private const POSIX = PHP_OS_FAMILY !== 'Windows';

    public readonly string $caminho;

    /**
     * What each copy was (device, inode, size, times) when its sha256 was last found right, for
     * every Ponte of this process: it is read again only when that changed.
     *
     * @var array<string, string>
     */
    private static array $conferidas = [];

    public function __construct(public readonly PonteDoPacote $origem, public readonly string $pasta, string $versao)
    {
        $this->caminho = $pasta . DIRECTORY_SEPARATOR . Localizacao::NOME_DO_EXECUTAVEL
            . "-{$versao}-{$origem->chave}-" . substr($origem->sha256, 0, 16)
            . (str_starts_with($origem->chave, 'win-') ? '.exe' : '');
    }

    /** The copy's path, once the folder and the copy are checked; placed first if missing. */
    public function pronta(): string
    {
        $this->conferirPasta();
        if (!$this->conferirCopia()) {
            $this->colocar();
            if (!$this->conferirCopia()) {
                throw new PonteNaoIniciadaException(
                    "não foi possível iniciar a ponte {$this->caminho}: No such file or directory",
                    $this->caminho,
                );
            }
        }
        return $this->caminho;
    }

    private function conferirPasta(): void
    {
        clearstatcache();
        [$info] = Sistema::chamar(fn () => lstat($this->pasta));
        if ($info === false) {
            [, $motivo] = Sistema::chamar(function (): bool {
                $pai = dirname($this->pasta);
                if (!is_dir($pai) && !mkdir($pai, 0777, true) && !is_dir($pai)) {
                    return false;
                }
                if (!mkdir($this->pasta, 0700)) {
                    return false;
                }
                return !self::POSIX || chmod($this->pasta, 0700);  // whatever the umask took away
            });
            clearstatcache();
            [$info] = Sistema::chamar(fn () => lstat($this->pasta));
            if ($info === false) {
                throw new PonteNaoIniciadaException(
                    "não foi possível criar a pasta {$this->pasta}: " . ($motivo ?? '?'),
                );
            }
            // Made here, or by another host first: checked like any other.
        }
        $tipo = $info['mode'] & self::TIPO;
        if ($tipo === self::LINK) {
            throw new LocalInseguroException($this->pasta, LocalInseguroException::LINK);
        }
        if ($tipo !== self::PASTA) {
            throw new LocalInseguroException($this->pasta, LocalInseguroException::NAO_E_PASTA);
        }
        if (self::POSIX) {
            if ($info['uid'] !== Sistema::uidEfetivo()) {
                throw new LocalInseguroException($this->pasta, LocalInseguroException::PASTA_DE_OUTRO);
            }
            if (($info['mode'] & 0022) !== 0) {
                throw new LocalInseguroException($this->pasta, LocalInseguroException::PASTA_ABERTA);
            }
        }
    }

    /** Checks the copy; false when there is none yet. */
    private function conferirCopia(): bool
    {
        for ($tentativa = 1;; $tentativa++) {
            $agora = time();
            clearstatcache();
            [$info] = Sistema::chamar(fn () => lstat($this->caminho));
            if ($info === false) {
                return false;
            }
            $tipo = $info['mode'] & self::TIPO;
            if ($tipo === self::LINK) {
                throw new LocalInseguroException($this->caminho, LocalInseguroException::LINK);
            }
            if ($tipo !== self::ARQUIVO) {
                throw new LocalInseguroException($this->caminho, LocalInseguroException::NAO_E_ARQUIVO);
            }
            if (self::POSIX) {
                if ($info['uid'] !== Sistema::uidEfetivo()) {
                    throw new LocalInseguroException($this->caminho, LocalInseguroException::COPIA_DE_OUTRO);
                }
                if (($info['mode'] & 0022) !== 0) {
                    throw new LocalInseguroException($this->caminho, LocalInseguroException::COPIA_ABERTA);
                }
            }
            $chave = $this->caminho . "\0" . $this->origem->sha256;
            $marca = "{$info['dev']}:{$info['ino']}:{$info['size']}:{$info['mtime']}:{$info['ctime']}";
            if ((self::$conferidas[$chave] ?? null) === $marca) {
                return true;
            }
            [$arquivo, $motivo] = Sistema::chamar(fn () => fopen($this->caminho, 'rb'));
            if ($arquivo === false) {
                throw new PonteNaoIniciadaException(
                    "não foi possível iniciar a ponte {$this->caminho}: " . ($motivo ?? '?'),
                    $this->caminho,
                );
            }
            try {
                // PHP opens following links: the file opened must be the one looked at. Another
                // host renaming its identical copy into place in between is no fault: look again.
                $aberto = fstat($arquivo);
                if ($aberto === false || $aberto['dev'] !== $info['dev'] || $aberto['ino'] !== $info['ino']) {
                    if ($tentativa < 3) {
                        continue;
                    }
                    throw new LocalInseguroException($this->caminho, LocalInseguroException::NAO_E_ARQUIVO);
                }
                $dados = stream_get_contents($arquivo);
            } finally {
                fclose($arquivo);
            }
            if (!is_string($dados) || !hash_equals($this->origem->sha256, Sistema::sha256($dados))) {
                unset(self::$conferidas[$chave]);
                throw new LocalInseguroException($this->caminho, LocalInseguroException::COPIA_DIFERENTE);
            }
            // PHP gives times in whole seconds: a change made within the second the copy was last
            // changed could keep every part of the mark, so the mark counts only once that second
            // has passed (the change time cannot be set back, and any later change moves it).
            if ($agora > max($info['ctime'], $info['mtime'])) {
                self::$conferidas[$chave] = $marca;
            }
            return true;
        }
    }

    private function colocar(): void
    {
        // The bytes are read once, checked, then written: what is written is what was checked.
        $origem = $this->origem->caminho;
        [$dados, $motivo] = Sistema::chamar(fn () => file_get_contents($origem));
        if (!is_string($dados)) {
            throw new PonteNaoIniciadaException(
                "não foi possível iniciar a ponte {$origem}: " . ($motivo ?? '?'),
                $origem,
            );
        }
        if (!hash_equals($this->origem->sha256, Sistema::sha256($dados))) {
            throw new PonteNaoIniciadaException(
                "a ponte do pacote {$origem} não confere com o sha256 que o pacote traz",
                $origem,
            );
        }
        $temporario = $this->pasta . DIRECTORY_SEPARATOR . '.' . Localizacao::NOME_DO_EXECUTAVEL . '-'
            . bin2hex(random_bytes(8)) . '.tmp';
        // 'x': created exclusively, never through a link.
        [$destino, $motivo] = Sistema::chamar(fn () => fopen($temporario, 'xb'));
        if ($destino === false) {
            throw new PonteNaoIniciadaException(
                "não foi possível iniciar a ponte {$this->caminho}: " . ($motivo ?? '?'),
                $this->caminho,
            );
        }
        try {
            if (self::POSIX) {
                chmod($temporario, 0700);
            }
            [$escritos, $motivo] = Sistema::chamar(fn () => fwrite($destino, $dados));
            if ($escritos !== strlen($dados) || !fflush($destino) || (function_exists('fsync') && !fsync($destino))) {
                throw new PonteNaoIniciadaException(
                    "não foi possível iniciar a ponte {$this->caminho}: " . ($motivo ?? 'No space left on device'),
                    $this->caminho,
                );
            }
            fclose($destino);
            $destino = null;
            // On POSIX the rename replaces atomically whatever another host placed (the same
            // bytes). On Windows a copy being run cannot be replaced: that one is checked instead.
            Sistema::chamar(fn () => rename($temporario, $this->caminho));
        } finally {
            if ($destino !== null) {
                fclose($destino);
            }
            clearstatcache();
            if (file_exists($temporario)) {
                Sistema::chamar(fn () => unlink($temporario));
            }
        }
    }
}
