<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * A bridge this package carries for a platform key, and the sha256 the package gives for it.
 *
 * @internal
 */
final class PonteDoPacote
{
    public function __construct(
        public readonly string $chave,
        public readonly string $caminho,
        public readonly string $sha256,
    ) {
    }
}
