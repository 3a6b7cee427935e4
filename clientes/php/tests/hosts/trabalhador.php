<?php

/**
 * A long-lived worker (a queue consumer, a PHP-FPM worker): one Ponte, kept across the jobs it
 * reads, one per line on standard input: "versao", or "queda" / "trava" (the library crashes or
 * hangs in a bridge started during that job: a running bridge keeps the environment it started
 * with). For each it writes the outcome and the bridge's process id:
 * "ok <pid>" or "<exception class> <pid>". At the end of its input it writes the children it has
 * left ("filhos: <count>") after dropping the Ponte without closing it.
 *
 *   php trabalhador.php ACBR_DIR COMMANDS_PER_BRIDGE
 */

declare(strict_types=1);

require __DIR__ . '/../carregar.php';

use AcbrPonte\AcbrPonteException;
use AcbrPonte\Ponte;
use AcbrPonte\Testes\Apoio;

$ponte = new Ponte(acbrDir: $argv[1], tempoLimite: 1.0, comandosPorPonte: (int) $argv[2]);
while (($trabalho = fgets(STDIN)) !== false) {
    $defeito = ['queda' => 'acesso_nulo', 'trava' => 'dorme'][trim($trabalho)] ?? null;
    Apoio::definir('ACBR_FALSA_DEFEITO', $defeito);
    try {
        $resultado = $ponte->versao()->nome === Apoio::ESPERADA ? 'ok' : 'errado';
    } catch (AcbrPonteException $erro) {
        $resultado = substr(strrchr(get_class($erro), '\\'), 1);
    }
    echo $resultado, ' ', $ponte->pid() ?? '-', "\n";
}
$ponte = null;
echo 'filhos: ', count(Apoio::filhos()), "\n";
