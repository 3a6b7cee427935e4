<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * versao() was answered {"ok":false,"erro":...}; $erro is that text, exactly (and the message).
 */
final class ErroDaPonteException extends AcbrPonteException
{
    public function __construct(public readonly string $erro)
    {
        parent::__construct($erro);
    }
}
