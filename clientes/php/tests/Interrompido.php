<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

/** What a test's signal handler throws. */
final class Interrompido extends \Exception
{
}
