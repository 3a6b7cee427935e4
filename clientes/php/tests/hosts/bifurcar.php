<?php

/**
 * A host that forks (a pre-forking server, a worker pool) after its Ponte has started a bridge.
 * The child must neither use nor end the parent's bridge; the parent's must go on serving it.
 * Writes one JSON object per process.
 *
 *   php bifurcar.php ACBR_DIR
 */

declare(strict_types=1);

require __DIR__ . '/../carregar.php';

use AcbrPonte\Ponte;

$ponte = new Ponte(acbrDir: $argv[1], tempoLimite: 10.0);
$ponte->versao();
$daPonte = $ponte->pid();
$filho = pcntl_fork();
if ($filho === 0) {
    $antes = $ponte->pid();
    $nome = $ponte->versao()->nome;
    $relato = ['pid_antes' => $antes, 'pid' => $ponte->pid(), 'da_ponte_do_pai' => $daPonte, 'nome' => $nome];
    echo json_encode(['filho' => $relato]), "\n";
    exit(0);  // its destructors and shutdown functions run here
}
pcntl_waitpid($filho, $status);
$nome = $ponte->versao()->nome;
echo json_encode(['pai' => ['pid_antes' => $daPonte, 'pid' => $ponte->pid(), 'nome' => $nome,
    'status_do_filho' => pcntl_wexitstatus($status)]]), "\n";
