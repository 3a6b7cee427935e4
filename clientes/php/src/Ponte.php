<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * A client of the acbr-ponte bridge.
 *
 *     $ponte = new Ponte(tempoLimite: 30.0);
 *     $versao = $ponte->versao();
 *
 * The bridge starts on the first call, with the environment as it is then, and so does every
 * later one: after a crash, a hang past the time limit, an answer that breaks the protocol, or
 * every so many commands. Closing (fechar(), or the object's end) closes the bridge and reaps it.
 */
final class Ponte
{
    /** This package's version: it names the copy of the packaged bridge. */
    public const VERSAO = '0.1.0';

    private const LINHA_VERSAO = "{\"cmd\":\"versao\"}\n";

    private ?Processo $processo = null;
    private ?CopiaDaPonte $copia = null;
    private bool $fechada = false;
    private bool $ocupada = false;

    /**
     * @param string|null $executavel the bridge's path; without it, ACBR_PONTE from the
     *     environment, else the bridge this package carries for the platform (run from its copy in
     *     $pastaDeConfiguracao), else acbr-ponte on PATH
     * @param string|null $acbrDir the ACBR_DIR every bridge gets (default: the environment's)
     * @param float $tempoLimite seconds a call may wait for its answer; past it the bridge is killed
     * @param int $comandosPorPonte a fresh bridge replaces one that served this many commands (0: never)
     * @param string|null $arquitetura 'x86' runs the package's 32-bit bridge on a 64-bit host
     * @param string|null $pastaDeConfiguracao where the package's bridge is placed, and so where
     *     the library keeps its configuration file (default: $XDG_DATA_HOME/acbr-ponte,
     *     ~/.local/share/acbr-ponte, %LOCALAPPDATA%\acbr-ponte)
     * @throws \InvalidArgumentException for a value out of range; nothing is started
     */
    public function __construct(
        public readonly ?string $executavel = null,
        public readonly ?string $acbrDir = null,
        public readonly float $tempoLimite = 30.0,
        public readonly int $comandosPorPonte = 1000,
        public readonly ?string $arquitetura = null,
        public readonly ?string $pastaDeConfiguracao = null,
    ) {
        if (!($tempoLimite > 0) || !is_finite($tempoLimite)) {
            throw new \InvalidArgumentException("tempoLimite deve ser positivo e finito: {$tempoLimite}");
        }
        if ($comandosPorPonte < 0) {
            throw new \InvalidArgumentException("comandosPorPonte deve ser um inteiro >= 0: {$comandosPorPonte}");
        }
        if ($arquitetura !== null && !in_array($arquitetura, Localizacao::ARQUITETURAS, true)) {
            throw new \InvalidArgumentException("arquitetura deve ser 'x64', 'x86' ou null: '{$arquitetura}'");
        }
        $caminhos = ['executavel' => $executavel, 'acbrDir' => $acbrDir, 'pastaDeConfiguracao' => $pastaDeConfiguracao];
        foreach ($caminhos as $nome => $valor) {
            if ($valor === '' || ($valor !== null && str_contains($valor, "\0"))) {
                throw new \InvalidArgumentException("{$nome} não pode ser vazio nem conter o byte 0");
            }
        }
    }

    public function __destruct()
    {
        $this->fechar();
    }

    /** The process id of the running bridge, or null when none is running. */
    public function pid(): ?int
    {
        $processo = $this->processo;
        return $processo === null || $processo->dono !== getmypid() ? null : $processo->pid;
    }

    /**
     * The library's name and version.
     *
     * @throws ErroDaPonteException with the bridge's text, exactly
     * @throws AcbrPonteException
     */
    public function versao(): Versao
    {
        $resposta = $this->trocar(self::LINHA_VERSAO, true);
        if ($resposta['ok']) {
            return new Versao($resposta['nome'] ?? null, $resposta['versao'] ?? null);
        }
        throw new ErroDaPonteException($resposta['erro']);
    }

    /**
     * Sends one command and returns the decoded answer object, failures included.
     *
     * A string is sent as it is, as one line of text; any other value as compact JSON (UTF-8, not
     * escaped). Blank commands, line feeds, bytes that are not UTF-8 and values with no JSON form
     * throw ComandoRecusadoException before anything is written.
     *
     * @return array<string, mixed>
     * @throws AcbrPonteException
     */
    public function enviar(mixed $comando): array
    {
        return $this->trocar(Comando::linhaDoComando($comando), false);
    }

    /**
     * Closes the bridge's input, gives it 2 s to exit, then kills it; it is reaped. Later calls
     * throw PonteFechadaException. Closing twice is harmless.
     */
    public function fechar(): void
    {
        $this->fechada = true;
        if ($this->ocupada) {
            return;  // called from inside a call (a signal handler): that call closes it when done
        }
        $processo = $this->processo;
        $this->processo = null;
        $processo?->encerrar(Processo::ESPERA_AO_FECHAR);
    }

    /** @return array<string, mixed> */
    private function trocar(string $linha, bool $validarVersao): array
    {
        if ($this->fechada) {
            throw new PonteFechadaException();
        }
        if ($this->ocupada) {
            // Only a signal handler (pcntl) or a destructor can call in while a call waits.
            throw new \LogicException('a Ponte já está numa chamada: ela não pode ser usada de dentro dela');
        }
        $this->ocupada = true;
        try {
            $processo = $this->pronto();
            try {
                $lida = $processo->trocar($linha, $this->tempoLimite);
                $resposta = Comando::lerResposta($lida);
                if ($validarVersao && !Comando::versaoValida($resposta)) {
                    throw new RespostaInvalidaException(Texto::utf8(substr($lida, 0, -1)));
                }
                return $resposta;
            } catch (\Throwable $erro) {
                // Failed, or interrupted (a signal handler threw) with an answer still to come
                // that would be taken for the next call's: this bridge is done.
                $this->processo = null;
                $processo->matar();
                throw $erro;
            }
        } finally {
            $this->ocupada = false;
            if ($this->fechada) {
                $this->fechar();
            }
        }
    }

    private function pronto(): Processo
    {
        $processo = $this->processo;
        if ($processo !== null) {
            if (!$processo->ociosa()) {
                // Ended, or wrote what nobody asked for; or, in a child the host forked, the
                // parent's (not this process's child, so not running for it): matar() leaves that
                // one alone, as sharing it would mix the two processes' answers.
                $processo->matar();
            } elseif ($this->comandosPorPonte > 0 && $processo->comandos >= $this->comandosPorPonte) {
                $processo->encerrar(Processo::ESPERA_AO_FECHAR);
            } else {
                return $processo;
            }
            $this->processo = null;
        }
        $ambiente = null;
        if ($this->acbrDir !== null) {
            $ambiente = getenv();
            $ambiente['ACBR_DIR'] = $this->acbrDir;
        }
        return $this->processo = new Processo($this->localizarPonte(), $ambiente);
    }

    /** The bridge to start now: the option, ACBR_PONTE, the package's (its checked copy), PATH. */
    private function localizarPonte(): string
    {
        if ($this->executavel !== null) {
            return self::comPasta(Localizacao::comExe($this->executavel));
        }
        $doAmbiente = getenv('ACBR_PONTE');
        if ($doAmbiente !== false && $doAmbiente !== '') {
            return self::comPasta(Localizacao::comExe($doAmbiente));
        }
        $chave = Localizacao::chaveDaPlataforma($this->arquitetura);
        $origem = $chave === null ? null : Localizacao::ponteDoPacote($chave);
        if ($origem !== null) {
            $pasta = $this->pastaDeConfiguracao ?? Localizacao::pastaPorUsuario();
            $copia = $this->copia;
            if ($copia === null || $copia->pasta !== $pasta || $copia->origem != $origem) {
                $copia = $this->copia = new CopiaDaPonte($origem, $pasta, self::VERSAO);
            }
            return $copia->pronta();
        }
        $achada = Localizacao::noPath();
        if ($achada === null) {
            throw new PonteNaoIniciadaException(PonteNaoIniciadaException::NAO_ENCONTRADA);
        }
        return $achada;
    }

    /** A bare name is looked for on PATH, as the system's exec would; a path is run as it is. */
    private static function comPasta(string $caminho): string
    {
        if (str_contains($caminho, '/') || (PHP_OS_FAMILY === 'Windows' && str_contains($caminho, '\\'))) {
            return $caminho;
        }
        return Localizacao::procurarNoPath($caminho) ?? $caminho;
    }
}
