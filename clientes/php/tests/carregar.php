<?php

/**
 * Loads the package's classes from this tree (PSR-4: AcbrPonte\ is src/, AcbrPonte\Testes\ is
 * tests/) without Composer, for the tests and the benchmark; Composer's own autoloader does the
 * same for a project that installs the package.
 */

declare(strict_types=1);

spl_autoload_register(static function (string $classe): void {
    foreach (['AcbrPonte\\Testes\\' => __DIR__, 'AcbrPonte\\' => dirname(__DIR__) . '/src'] as $prefixo => $pasta) {
        if (str_starts_with($classe, $prefixo)) {
            $arquivo = $pasta . '/' . str_replace('\\', '/', substr($classe, strlen($prefixo))) . '.php';
            if (is_file($arquivo)) {
                require $arquivo;
            }
            return;
        }
    }
});
