<?php

declare(strict_types=1);

namespace AcbrPonte;

/**
 * Bytes read from the bridge turned into text for messages: PHP strings are bytes, and what a
 * misbehaving bridge writes need not be UTF-8.
 *
 * @internal
 */
final class Texto
{
    // A whole character, or (group 1) the longest start of one that stops short, or (group 2) a
    // byte that starts none: each invalid piece becomes one U+FFFD, as Unicode recommends.
    private const PEDACOS = '/[\x00-\x7F]++|[\xC2-\xDF][\x80-\xBF]|\xE0[\xA0-\xBF][\x80-\xBF]'
        . '|[\xE1-\xEC\xEE\xEF][\x80-\xBF]{2}|\xED[\x80-\x9F][\x80-\xBF]|\xF0[\x90-\xBF][\x80-\xBF]{2}'
        . '|[\xF1-\xF3][\x80-\xBF]{3}|\xF4[\x80-\x8F][\x80-\xBF]{2}'
        . '|(\xE0[\xA0-\xBF]|[\xE1-\xEC\xEE\xEF][\x80-\xBF]|\xED[\x80-\x9F]|\xF0[\x90-\xBF][\x80-\xBF]?'
        . '|[\xF1-\xF3][\x80-\xBF]{1,2}|\xF4[\x80-\x8F][\x80-\xBF]?)|(.)/s';

    // The stderr tail goes into a message up to this many bytes of UTF-8 (the attribute keeps it all).
    private const SUFIXO_MAXIMO = 1000;

    /** The bytes as UTF-8 text, each invalid piece replaced by U+FFFD. */
    public static function utf8(string $bytes): string
    {
        if (preg_match('//u', $bytes) === 1) {
            return $bytes;
        }
        return (string) preg_replace_callback(
            self::PEDACOS,
            static fn (array $achado): string => isset($achado[1]) ? "\u{FFFD}" : $achado[0],
            $bytes,
        );
    }

    /** Valid UTF-8 text cut to its first $quantos characters, with "..." after a cut. */
    public static function cortar(string $texto, int $quantos): string
    {
        if (strlen($texto) <= $quantos || preg_match('/^.{' . $quantos . '}(?=.)/su', $texto, $inicio) !== 1) {
            return $texto;
        }
        return $inicio[0] . '...';
    }

    /** Valid UTF-8 text without White_Space at its ends. */
    public static function aparar(string $texto): string
    {
        $classe = '[' . EspacoBranco::CARACTERES . ']+';
        return (string) preg_replace('/^' . $classe . '|' . $classe . '$/Du', '', $texto);
    }

    /** The end of standard error for a message: empty, or a line feed, "stderr:", a line feed
     * and the tail trimmed, at most its last 1000 bytes (from a whole character on). */
    public static function sufixoDoStderr(string $stderr): string
    {
        $texto = self::aparar($stderr);
        if ($texto === '') {
            return '';
        }
        if (strlen($texto) > self::SUFIXO_MAXIMO) {
            $fim = substr($texto, -self::SUFIXO_MAXIMO);
            $inicio = 0;
            while ($inicio < strlen($fim) && (ord($fim[$inicio]) & 0xC0) === 0x80) {
                $inicio++;
            }
            $texto = '...' . substr($fim, $inicio);
        }
        return "\nstderr:\n" . $texto;
    }
}
