<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * Base class of every error this package raises about the bridge. Arguments and options that are
 * wrong are \InvalidArgumentException (or PHP's own \TypeError) instead.
 */
class AcbrPonteException extends \RuntimeException
{
}
