<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The configuration folder the package's bridge runs from, or its copy there, could be changed by
 * someone else (or was): nothing was run. $caminho names it, $motivo says what is wrong.
 */
final class LocalInseguroException extends PonteNaoIniciadaException
{
    public const LINK = 'é um link simbólico';
    public const NAO_E_PASTA = 'não é uma pasta';
    public const NAO_E_ARQUIVO = 'não é um arquivo comum';
    public const PASTA_DE_OUTRO = 'a pasta pertence a outro usuário';
    public const PASTA_ABERTA = 'a pasta pode ser alterada por outros usuários';
    public const COPIA_DE_OUTRO = 'a cópia da ponte pertence a outro usuário';
    public const COPIA_ABERTA = 'a cópia da ponte pode ser alterada por outros usuários';
    public const COPIA_DIFERENTE = 'a cópia da ponte não confere com a do pacote';

    public function __construct(public readonly string $caminho, public readonly string $motivo)
    {
        parent::__construct("local inseguro para a ponte: {$caminho}: {$motivo}");
    }
}
