<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * No answer within the time limit: the bridge was killed and reaped, and the next call starts a
 * fresh one. $tempoLimite is the limit in seconds, $stderr the tail of its standard error.
 */
final class TempoEsgotadoException extends AcbrPonteException
{
    public function __construct(public readonly float $tempoLimite, public readonly string $stderr)
    {
        parent::__construct(
            sprintf('a ponte não respondeu em %d ms e foi encerrada', (int) round($tempoLimite * 1000))
            . Texto::sufixoDoStderr($stderr),
        );
    }
}
