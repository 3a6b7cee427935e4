<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The library's name and version; each is null when the bridge's answer leaves it out.
 */
final class Versao
{
    public function __construct(
        public readonly ?string $nome,
        public readonly ?string $versao,
    ) {
    }
}
