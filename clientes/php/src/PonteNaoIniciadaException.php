<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * No bridge was found, or it could not be started. $executavel is the path that was tried (null
 * when none was found).
 */
class PonteNaoIniciadaException extends AcbrPonteException
{
    public const NAO_ENCONTRADA = 'acbr-ponte não encontrado: dê o caminho da ponte, defina ACBR_PONTE, '
        . 'instale o pacote com a ponte desta plataforma ou ponha acbr-ponte no PATH';

    public function __construct(
        string $mensagem,
        public readonly ?string $executavel = null,
        ?\Throwable $causa = null,
    ) {
        parent::__construct($mensagem, 0, $causa);
    }
}
