<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * A call on a Ponte that was closed.
 */
final class PonteFechadaException extends AcbrPonteException
{
    public function __construct()
    {
        parent::__construct('a Ponte foi fechada');
    }
}
