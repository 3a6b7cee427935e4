<?php

/**
 * A host that put back SIGPIPE's default action (PHP ignores it) and sends a command larger than
 * a pipe holds to a bridge that closes its input unread: the write fails, and the host must live
 * to report how the bridge ended.
 *
 *   ACBR_PONTE=.../surda_de_entrada.sh php sigpipe.php
 */

declare(strict_types=1);

require __DIR__ . '/../carregar.php';

use AcbrPonte\Ponte;
use AcbrPonte\PonteEncerradaException;

pcntl_signal(SIGPIPE, SIG_DFL);
$ponte = new Ponte();
try {
    $ponte->enviar(['cmd' => 'versao', 'grande' => str_repeat('x', 1_000_000)]);
} catch (PonteEncerradaException $erro) {
    echo $erro->status, "\n";
}
