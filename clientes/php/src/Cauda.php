<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * The last bytes of a bridge's standard error, in bounded memory.
 *
 * @internal
 */
final class Cauda
{
    /** Bytes of standard error kept from each bridge (the end of it). */
    public const TAMANHO = 8192;

    private string $dados = '';
    private bool $cortada = false;

    public function __construct(private readonly int $limite = self::TAMANHO)
    {
    }

    public function acrescentar(string $dados): void
    {
        $this->dados .= $dados;
        // Cut only past twice the limit: the cost per byte stays constant.
        if (strlen($this->dados) > 2 * $this->limite) {
            $this->dados = substr($this->dados, -$this->limite);
            $this->cortada = true;
        }
    }

    /** The kept bytes as text, from a whole UTF-8 character on. */
    public function texto(): string
    {
        $dados = $this->dados;
        if ($this->cortada || strlen($dados) > $this->limite) {
            $dados = substr($dados, -$this->limite);
            $inicio = 0;
            while ($inicio < min(3, strlen($dados)) && (ord($dados[$inicio]) & 0xC0) === 0x80) {
                $inicio++;
            }
            $dados = substr($dados, $inicio);
        }
        return Texto::utf8($dados);
    }
}
