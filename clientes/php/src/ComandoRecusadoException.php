<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * A command that cannot be sent as one line: blank, holding a line feed, bytes that are not
 * UTF-8, or a value with no JSON form. It is refused before anything is written, so the bridge is
 * not touched.
 */
final class ComandoRecusadoException extends AcbrPonteException
{
}
