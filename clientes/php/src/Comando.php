<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * Commands into lines and lines into answers: what is refused before anything is written, and
 * what is not an answer.
 *
 * @internal
 */
final class Comando
{
    private const JSON = JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_LINE_TERMINATORS
        | JSON_PRESERVE_ZERO_FRACTION | JSON_THROW_ON_ERROR;

    /**
     * The line for $comando, line feed included: a string as it is, any other value as compact
     * JSON. Throws ComandoRecusadoException for what the bridge would answer never (a blank line),
     * more than once (a line feed inside) or could not read (bytes that are not UTF-8).
     */
    public static function linhaDoComando(mixed $comando): string
    {
        if (is_string($comando)) {
            $texto = $comando;
        } else {
            try {
                $texto = json_encode($comando, self::JSON);
            } catch (\JsonException $erro) {
                if ($erro->getCode() === JSON_ERROR_UTF8) {
                    throw new ComandoRecusadoException('o comando não é UTF-8 válido', 0, $erro);
                }
                // Infinities, NaN, resources, recursion, too deep.
                throw new ComandoRecusadoException('o comando não tem forma JSON: ' . $erro->getMessage(), 0, $erro);
            }
        }
        if (str_contains($texto, "\n")) {
            throw new ComandoRecusadoException(
                'o comando tem uma quebra de linha: a ponte o leria como mais de uma linha',
            );
        }
        // One pass: false when the bytes are not UTF-8, 0 when every character is White_Space.
        $algo = preg_match('/[^' . EspacoBranco::CARACTERES . ']/u', $texto);
        if ($algo === false) {
            throw new ComandoRecusadoException('o comando não é UTF-8 válido');
        }
        if ($algo === 0) {
            throw new ComandoRecusadoException('comando em branco: a ponte não responde a linhas em branco');
        }
        return $texto . "\n";
    }

    /**
     * The answer object of a line (line feed included), or RespostaInvalidaException.
     *
     * @return array<string, mixed>
     */
    public static function lerResposta(string $linha): array
    {
        // An object, not a list: json_decode gives both as arrays.
        $inicio = strspn($linha, " \t\r\n");
        if (($linha[$inicio] ?? '') === '{') {
            $valor = json_decode($linha, true);
            if (is_array($valor) && is_bool($valor['ok'] ?? null)) {
                return $valor;
            }
        }
        throw new RespostaInvalidaException(Texto::utf8(substr($linha, 0, -1)));
    }

    /** A version answer: {"ok":true} whose name and version are texts or absent, or {"ok":false} with a text. */
    public static function versaoValida(array $resposta): bool
    {
        if ($resposta['ok']) {
            return (!array_key_exists('nome', $resposta) || is_string($resposta['nome']))
                && (!array_key_exists('versao', $resposta) || is_string($resposta['versao']));
        }
        return is_string($resposta['erro'] ?? null);
    }
}
