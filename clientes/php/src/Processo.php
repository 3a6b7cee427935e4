<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * One running bridge: its three pipes, the answer lines and its end, with no helper process or
 * thread. The caller writes the command and waits with stream_select() on the answer pipe and on
 * standard error, which is drained into the Cauda while it waits, so a chatty library never blocks
 * the bridge. PHP has no descriptor that tells a process's end, so a bridge that ended while a
 * process it started holds its pipes open is found by asking every INTERVALO. On Windows, where
 * PHP can neither select on nor stop blocking on a pipe, the three are socket pairs (which the
 * bridge reads and writes as it would pipes).
 *
 * @internal
 */
final class Processo
{
    /** Given this long to exit after its input is closed; then it is killed. */
    public const ESPERA_AO_FECHAR = 2.0;
    // How often a waiting call asks whether the bridge has ended (seconds).
    private const INTERVALO = 0.2;
    // How long a bridge whose output ended may take to exit before it is killed (seconds).
    private const ACABAMENTO = 1.0;
    private const LEITURA = 65536;
    private const SIGKILL = 9;  // the same number on every system that has signals
    private const SIGPIPE = 13;
    private const WINDOWS = PHP_OS_FAMILY === 'Windows';

    public readonly int $pid;
    /** The process that started it: a child the host forks must leave it alone. */
    public readonly int $dono;
    /** Commands written to it. */
    public int $comandos = 0;

    /** @var resource */
    private $processo;
    /** @var resource|null */
    private $entrada;
    /** @var resource */
    private $saida;
    /** @var resource|null */
    private $erro;
    private bool $saidaNoFim = false;
    private string $pendente = '';  // bytes read past the last answer line
    private readonly Cauda $cauda;
    /** @var array{0: ?int, 1: ?int}|null its exit status or signal, once it has ended */
    private ?array $fim = null;
    private bool $concluido = false;

    private static ?bool $mascararSigpipe = null;
    /** @var \WeakMap<Processo, true>|null bridges to close when the host's script ends */
    private static ?\WeakMap $vivos = null;

    /**
     * @param array<string, string>|null $ambiente the bridge's environment; null: the host's
     */
    public function __construct(string $executavel, ?array $ambiente)
    {
        // Where fork() and exec() are apart, PHP reports an exec that failed as a process that
        // ended with 127: what can be known before is checked first.
        $motivo = Sistema::motivoParaNaoExecutar($executavel);
        if ($motivo !== null) {
            throw new PonteNaoIniciadaException(
                "não foi possível iniciar a ponte {$executavel}: {$motivo}",
                $executavel,
            );
        }
        $canos = [];
        [$processo, $motivo] = Sistema::chamar(static function () use ($executavel, $ambiente, &$canos) {
            return proc_open(
                [$executavel],
                self::WINDOWS ? [['socket'], ['socket'], ['socket']] : [['pipe', 'r'], ['pipe', 'w'], ['pipe', 'w']],
                $canos,
                null,
                $ambiente,
                ['bypass_shell' => true],
            );
        });
        if (!is_resource($processo)) {
            throw new PonteNaoIniciadaException(
                "não foi possível iniciar a ponte {$executavel}: " . ($motivo ?? '?'),
                $executavel,
            );
        }
        $this->processo = $processo;
        [$this->entrada, $this->saida, $this->erro] = [$canos[0], $canos[1], $canos[2]];
        stream_set_write_buffer($this->entrada, 0);
        foreach ([$this->saida, $this->erro] as $cano) {
            stream_set_read_buffer($cano, 0);
        }
        foreach ($canos as $cano) {
            stream_set_blocking($cano, false);
        }
        $estado = proc_get_status($processo);
        $this->pid = $estado['pid'];
        $this->anotar($estado);
        $this->dono = getmypid();
        $this->cauda = new Cauda();
        if (self::$vivos === null) {
            self::$vivos = new \WeakMap();
            register_shutdown_function([self::class, 'encerrarTodos']);
        }
        self::$vivos[$this] = true;
    }

    /**
     * Closes every bridge still running when the host's script ends, a fatal error included
     * (PHP runs no destructor after one, and an FPM worker would keep the zombies).
     */
    public static function encerrarTodos(): void
    {
        foreach (self::$vivos ?? [] as $processo => $_) {
            $processo->dono === getmypid() ? $processo->encerrar(self::ESPERA_AO_FECHAR) : $processo->abandonar();
        }
    }

    /** Alive, and nothing unasked-for in its output (a line, or the end): ready for a command. */
    public function ociosa(): bool
    {
        if ($this->pendente !== '' || $this->concluido) {
            return false;
        }
        $ler = $this->erro === null ? [$this->saida] : [$this->saida, $this->erro];
        $escrever = $nada = null;
        if (@stream_select($ler, $escrever, $nada, 0) > 0) {
            if (in_array($this->saida, $ler, true)) {
                return false;
            }
            $this->drenarErro();
        }
        return !$this->terminou();
    }

    /**
     * Writes one command line and returns its answer line (line feed included). Past the limit
     * the process is killed (TempoEsgotadoException); if it ends first, PonteEncerradaException.
     * Either way it is reaped and its pipes are closed before the exception is thrown.
     */
    public function trocar(string $linha, float $tempoLimite): string
    {
        $prazo = self::agora() + $tempoLimite;
        $this->comandos++;
        $restante = $this->escrever($linha);
        $olhar = self::agora() + self::INTERVALO;
        while (true) {
            $agora = self::agora();
            if ($agora >= $prazo) {
                $this->matar();
                throw new TempoEsgotadoException($tempoLimite, $this->cauda->texto());
            }
            $espera = max(0.0, min($prazo, $olhar) - $agora);
            $ler = $this->erro === null ? [$this->saida] : [$this->saida, $this->erro];
            $escrever = $restante !== '' && $this->entrada !== null ? [$this->entrada] : null;
            $nada = null;
            // false: a signal came (its handler has run); the loop asks again.
            $prontos = @stream_select($ler, $escrever, $nada, 0, (int) ceil($espera * 1e6));
            if ($prontos > 0) {
                if ($escrever) {
                    $restante = $this->escrever($restante);
                }
                if ($this->erro !== null && in_array($this->erro, $ler, true)) {
                    $this->drenarErro();
                }
                if (in_array($this->saida, $ler, true)) {
                    $resposta = $this->lerSaida();
                    if ($resposta !== null) {
                        return $resposta;
                    }
                }
            }
            if (self::agora() >= $olhar) {
                $olhar = self::agora() + self::INTERVALO;
                if ($this->terminou()) {
                    // Ended: an answer it wrote just before is still an answer.
                    while (($resposta = $this->lerSaida()) === null) {
                        $ler = [$this->saida];
                        $escrever = $nada = null;
                        if (@stream_select($ler, $escrever, $nada, 0) !== 1) {
                            throw $this->encerrada();
                        }
                    }
                    return $resposta;
                }
            }
        }
    }

    /** Closes its input, gives it $espera seconds to exit, then kills it; reaped either way. */
    public function encerrar(float $espera): void
    {
        if ($this->concluido) {
            return;
        }
        if ($this->dono !== getmypid()) {
            $this->abandonar();
            return;
        }
        $this->fecharCano($this->entrada);
        if (!$this->esperarFim($espera)) {
            proc_terminate($this->processo, self::SIGKILL);
        }
        $this->concluir();
    }

    /** Kills it (unless it has ended) and reaps it. */
    public function matar(): void
    {
        if ($this->concluido) {
            return;
        }
        if ($this->dono !== getmypid()) {
            $this->abandonar();
            return;
        }
        if (!$this->terminou()) {
            proc_terminate($this->processo, self::SIGKILL);
        }
        $this->concluir();
    }

    /**
     * In a child the host forked: the process is the parent's. Closes this child's copies of the
     * pipes and leaves the process alone (never waits for it, never kills it).
     */
    public function abandonar(): void
    {
        $this->concluido = true;
        $this->fecharCanos();
    }

    /** The first whole line of the answer pipe, or null. The end of the pipe is the end of the bridge. */
    private function lerSaida(): ?string
    {
        $dados = fread($this->saida, self::LEITURA);
        if ($dados === false || $dados === '') {
            if (feof($this->saida)) {
                $this->saidaNoFim = true;
                throw $this->encerrada();
            }
            return null;
        }
        $busca = strlen($this->pendente);
        $this->pendente .= $dados;
        $fim = strpos($this->pendente, "\n", $busca);
        if ($fim === false) {
            return null;
        }
        $linha = substr($this->pendente, 0, $fim + 1);
        $this->pendente = (string) substr($this->pendente, $fim + 1);
        return $linha;
    }

    private function escrever(string $dados): string
    {
        if ($this->entrada === null) {
            return '';
        }
        // PHP ignores SIGPIPE, but a host may have put its default action back through pcntl (and
        // nothing tells whether it has): then writing to a bridge that has gone would kill it.
        $mascara = self::$mascararSigpipe ??= !self::WINDOWS && function_exists('pcntl_sigprocmask');
        if ($mascara) {
            pcntl_sigprocmask(SIG_BLOCK, [self::SIGPIPE], $antes);
        }
        $escritos = @fwrite($this->entrada, $dados);
        if ($mascara) {
            if ($escritos === false) {
                @pcntl_sigtimedwait([self::SIGPIPE], $info, 0, 0);
            }
            pcntl_sigprocmask(SIG_SETMASK, $antes);
        }
        if ($escritos === false) {
            // It closed its input: its end is told by its output.
            $this->fecharCano($this->entrada);
            return '';
        }
        return $escritos === strlen($dados) ? '' : substr($dados, $escritos);
    }

    private function drenarErro(): void
    {
        while ($this->erro !== null) {
            $dados = fread($this->erro, self::LEITURA);
            if ($dados === false || $dados === '') {
                if (feof($this->erro)) {
                    $this->fecharCano($this->erro);
                }
                return;
            }
            $this->cauda->acrescentar($dados);
            if (strlen($dados) < self::LEITURA) {
                return;
            }
        }
    }

    /** Whether it has ended; the first answer that says so is kept (PHP gives it only once). */
    private function terminou(): bool
    {
        if ($this->fim !== null) {
            return true;
        }
        return $this->anotar(proc_get_status($this->processo));
    }

    /**
     * Keeps the end proc_get_status() reports: it reaps the process, and later calls no longer
     * know its status.
     *
     * @param array<string, mixed> $estado
     */
    private function anotar(array $estado): bool
    {
        if ($estado['running']) {
            return false;
        }
        // Not signaled and no status: it was reaped elsewhere (SIGCHLD ignored by the host).
        $this->fim = $estado['signaled']
            ? [null, $estado['termsig']]
            : [$estado['exitcode'] >= 0 ? $estado['exitcode'] : null, null];
        return true;
    }

    /**
     * Waits up to $espera seconds for its end, draining standard error meanwhile (and its
     * output, which nobody asked for). False when it is still running.
     */
    private function esperarFim(float $espera): bool
    {
        $prazo = self::agora() + $espera;
        $pausa = 50;
        while (!$this->terminou()) {
            $falta = $prazo - self::agora();
            if ($falta <= 0) {
                return false;
            }
            $micros = min($pausa, (int) ceil($falta * 1e6));
            $pausa = min($pausa * 2, 20_000);
            $ler = [];
            if (!$this->saidaNoFim) {
                $ler[] = $this->saida;
            }
            if ($this->erro !== null) {
                $ler[] = $this->erro;
            }
            if ($ler === []) {
                usleep($micros);
                continue;
            }
            $escrever = $nada = null;
            if (@stream_select($ler, $escrever, $nada, 0, $micros) > 0) {
                if (in_array($this->saida, $ler, true)) {
                    $dados = fread($this->saida, self::LEITURA);
                    $this->saidaNoFim = ($dados === '' || $dados === false) && feof($this->saida);
                }
                if ($this->erro !== null && in_array($this->erro, $ler, true)) {
                    $this->drenarErro();
                }
            }
        }
        return true;
    }

    /**
     * The bridge ended (or closed its output) without answering: reaped, with all it wrote to
     * standard error before it ended.
     */
    private function encerrada(): PonteEncerradaException
    {
        if (!$this->esperarFim(self::ACABAMENTO)) {
            // Its output ended but it lives on: it will never answer again.
            proc_terminate($this->processo, self::SIGKILL);
        }
        $this->concluir();
        [$status, $sinal] = $this->fim ?? [null, self::SIGKILL];
        return new PonteEncerradaException($status, $sinal, $this->cauda->texto());
    }

    /**
     * Once it has ended or been killed: what it wrote to standard error is kept, its pipes
     * closed, and the process reaped.
     */
    private function concluir(): void
    {
        if ($this->concluido) {
            return;
        }
        $this->concluido = true;
        // Whatever the ended process wrote is in the pipe; a process it left behind may hold the
        // pipe open, so this takes what is there and no more.
        $this->drenarErro();
        $this->fecharCanos();
        // Blocks until it is gone: it has ended, or has just been killed (Windows has no signals:
        // its status is the one TerminateProcess gave).
        $codigo = proc_close($this->processo);
        $this->fim ??= self::WINDOWS ? [$codigo >= 0 ? $codigo : null, null] : [null, self::SIGKILL];
    }

    /** Seconds on the monotonic clock (hrtime() is a float on 32-bit PHP). */
    private static function agora(): float
    {
        return hrtime(true) / 1e9;
    }

    private function fecharCanos(): void
    {
        $this->fecharCano($this->entrada);
        $this->fecharCano($this->erro);
        if (is_resource($this->saida)) {
            fclose($this->saida);
        }
    }

    /** @param resource|null $cano */
    private function fecharCano(&$cano): void
    {
        if ($cano !== null) {
            if (is_resource($cano)) {
                fclose($cano);
            }
            $cano = null;
        }
    }
}
