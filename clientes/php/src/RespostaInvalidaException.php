<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The answer was not what the protocol says (not a JSON object with a boolean "ok", or a version
 * answer of the wrong shape): something else wrote to the bridge's output, so later answers could
 * not be trusted to match their calls. The bridge was discarded. $linha is the line as text
 * (bytes that are not UTF-8 replaced by U+FFFD), without its line feed.
 */
final class RespostaInvalidaException extends AcbrPonteException
{
    public function __construct(public readonly string $linha)
    {
        parent::__construct('resposta inválida da ponte: ' . Texto::cortar($linha, 200));
    }
}
