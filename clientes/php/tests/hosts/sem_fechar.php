<?php

/**
 * A host whose script ends with its Ponte open: normally, or (with "fatal") by a fatal error,
 * after which PHP runs no destructor. A shutdown function of the host's own, registered after the
 * bridge started, writes what is left of the bridge: "?" when it is gone and reaped.
 *
 *   php sem_fechar.php ACBR_DIR [fatal]
 */

declare(strict_types=1);

require __DIR__ . '/../carregar.php';

use AcbrPonte\Ponte;
use AcbrPonte\Testes\Apoio;

$ponte = new Ponte(acbrDir: $argv[1]);
$ponte->versao();
$pid = $ponte->pid();
register_shutdown_function(static function () use ($pid): void {
    echo "ponte {$pid}: ", Apoio::estadoDoProcesso($pid), "\n";
});
if (($argv[2] ?? '') === 'fatal') {
    ini_set('memory_limit', '16M');
    $grande = str_repeat('x', 64 * 1024 * 1024);
}
