<?php

/**
 * One of several hosts placing the same copy of the packaged bridge at once: it waits for a line
 * on standard input (written to all of them once all are up), then asks for the version.
 *
 *   php copia.php PACKAGE_FOLDER ACBR_DIR CONFIGURATION_FOLDER
 */

declare(strict_types=1);

require __DIR__ . '/../carregar.php';

use AcbrPonte\Localizacao;
use AcbrPonte\Ponte;

Localizacao::$pastaDoPacote = $argv[1];
fgets(STDIN);
$ponte = new Ponte(acbrDir: $argv[2], pastaDeConfiguracao: $argv[3]);
echo $ponte->versao()->nome, "\n";
