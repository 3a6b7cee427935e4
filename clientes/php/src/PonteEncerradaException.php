<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The bridge ended during the call, without answering. $status is its exit status, or
 * $numeroDoSinal the signal that ended it, with $sinal its name ("SIGSEGV"; null when the system
 * gives it none); the others are null. $stderr is the tail of its standard error, where a Free
 * Pascal runtime reports an unhandled exception. The call is not retried: the next call starts a
 * fresh bridge.
 */
final class PonteEncerradaException extends AcbrPonteException
{
    public readonly ?string $sinal;

    public function __construct(
        public readonly ?int $status,
        public readonly ?int $numeroDoSinal,
        public readonly string $stderr,
    ) {
        $this->sinal = $numeroDoSinal === null ? null : Sinais::nome($numeroDoSinal);
        if ($numeroDoSinal !== null) {
            $motivo = "pelo sinal {$numeroDoSinal}" . ($this->sinal === null ? '' : " ({$this->sinal})");
        } else {
            $motivo = 'com o status ' . ($status ?? '?');
        }
        parent::__construct("a ponte encerrou {$motivo} sem responder" . Texto::sufixoDoStderr($stderr));
    }
}
