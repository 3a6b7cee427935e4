<?php

/**
 * The cost of a call through the PHP client against the same exchange over raw pipes, in one run:
 *
 *   - per call: N version queries through one Ponte (recycling off) against N lines written with
 *     fwrite() and read with fgets() on a bridge started with proc_open(); the median of R rounds,
 *     the two taken in turn, in blocks of 100 calls, within each round (the order swapped every round);
 *   - the first answer: a new Ponte's first versao() against a bare proc_open() and one exchange
 *     (closing is not counted on either side); and the same Ponte with no path, running the
 *     bridge from a package (the same file), as a fresh PHP-FPM request does: the copy in the
 *     configuration folder checked, its sha256 computed. P sets of the three after one warm-up
 *     set, the order reversed every set; the median of each.
 *
 *   php bench/custo.php --ponte BRIDGE [--acbr-dir DIR] [--chamadas 3000] [--rodadas 5]
 *       [--pares 11] [--json FILE]
 *
 * ACBR_DIR (the option, or the environment's) reaches both sides through the environment. The
 * figures are printed as a table and, with --json, written as one JSON object for a benchmark
 * that compares every client.
 */

declare(strict_types=1);

require __DIR__ . '/../tests/carregar.php';

use AcbrPonte\CopiaDaPonte;
use AcbrPonte\Localizacao;
use AcbrPonte\Ponte;
use AcbrPonte\Testes\Apoio;

$opcoes = getopt('', ['ponte:', 'acbr-dir:', 'chamadas:', 'rodadas:', 'pares:', 'json:']);
$ponte = $opcoes['ponte'] ?? getenv('ACBR_PONTE');
if (!is_string($ponte) || $ponte === '' || !is_executable($ponte)) {
    fwrite(STDERR, "uso: php bench/custo.php --ponte BRIDGE [--acbr-dir DIR] [--chamadas N] [--rodadas R]"
        . " [--pares P] [--json FILE]\n");
    exit(2);
}
putenv('ACBR_PONTE');  // the packaged bridge is found only without it
if (isset($opcoes['acbr-dir'])) {
    putenv('ACBR_DIR=' . $opcoes['acbr-dir']);
}
$chamadas = (int) ($opcoes['chamadas'] ?? 3000);
$rodadas = (int) ($opcoes['rodadas'] ?? 5);
$pares = (int) ($opcoes['pares'] ?? 11);
$linha = "{\"cmd\":\"versao\"}\n";

// A package that carries the same bridge, and a configuration folder, both thrown away at the end.
$temporario = sys_get_temp_dir() . '/acbr-ponte-custo-' . bin2hex(random_bytes(6));
$chave = Localizacao::chaveDaPlataforma(null) ?? 'linux-x64';
mkdir("{$temporario}/pacote/{$chave}", 0700, true);
copy($ponte, "{$temporario}/pacote/{$chave}/acbr-ponte");
file_put_contents("{$temporario}/pacote/{$chave}/acbr-ponte.sha256", hash_file('sha256', $ponte) . "  acbr-ponte\n");
register_shutdown_function(static fn () => Apoio::apagar($temporario));
Localizacao::$pastaDoPacote = "{$temporario}/pacote";
// What a new PHP-FPM request starts with: no copy checked yet by this process.
$conferidas = new ReflectionProperty(CopiaDaPonte::class, 'conferidas');
$conferidas->setAccessible(true);

$iniciar = static function () use ($ponte): array {
    $processo = proc_open([$ponte], [['pipe', 'r'], ['pipe', 'w'], ['pipe', 'w']], $canos);
    if (!is_resource($processo)) {
        throw new RuntimeException("proc_open {$ponte}");
    }
    return [$processo, $canos];
};
$terminar = static function (array $cru): void {
    foreach ($cru[1] as $cano) {
        fclose($cano);
    }
    proc_close($cru[0]);
};
$trocarCru = static function (array $canos) use ($linha): void {
    fwrite($canos[0], $linha);
    $resposta = fgets($canos[1]);
    if ($resposta === false || !str_starts_with($resposta, '{"ok":true')) {
        throw new RuntimeException('resposta inesperada: ' . var_export($resposta, true));
    }
};
$mediana = static function (array $valores): float {
    sort($valores);
    $n = count($valores);
    return $n % 2 === 1 ? $valores[intdiv($n, 2)] : ($valores[$n / 2 - 1] + $valores[$n / 2]) / 2;
};

// Nanoseconds per call on each side, in blocks of 100 calls taken in turn, so that whatever else
// the machine does touches both alike; and from nothing to the first answer.
$medir = static function (array $ordem) use ($ponte, $iniciar, $terminar, $trocarCru, $chamadas): array {
    $cru = $iniciar();
    $cliente = new Ponte($ponte, comandosPorPonte: 0);
    $trocarCru($cru[1]);
    $cliente->versao();
    $chamar = [
        'cru' => static fn () => $trocarCru($cru[1]),
        'cliente' => static fn () => $cliente->versao(),
    ];
    $tempos = ['cru' => 0, 'cliente' => 0];
    for ($feitas = 0; $feitas < $chamadas; $feitas += 100) {
        $vez = min(100, $chamadas - $feitas);
        foreach ($ordem as $lado) {
            $uma = $chamar[$lado];
            $inicio = hrtime(true);
            for ($i = 0; $i < $vez; $i++) {
                $uma();
            }
            $tempos[$lado] += hrtime(true) - $inicio;
        }
    }
    $cliente->fechar();
    $terminar($cru);
    return array_map(static fn ($t) => $t / $chamadas, $tempos);
};
$primeira = [
    'cru' => static function () use ($iniciar, $terminar, $trocarCru): float {
        $inicio = hrtime(true);
        $cru = $iniciar();
        $trocarCru($cru[1]);
        $tempo = hrtime(true) - $inicio;
        $terminar($cru);
        return $tempo;
    },
    'cliente' => static function () use ($ponte): float {
        $inicio = hrtime(true);
        $cliente = new Ponte($ponte);
        $cliente->versao();
        $tempo = hrtime(true) - $inicio;
        $cliente->fechar();
        return $tempo;
    },
    'pacote' => static function () use ($temporario, $conferidas): float {
        $conferidas->setValue(null, []);
        $inicio = hrtime(true);
        $cliente = new Ponte(pastaDeConfiguracao: "{$temporario}/config");
        $cliente->versao();
        $tempo = hrtime(true) - $inicio;
        $cliente->fechar();
        return $tempo;
    },
];

$porChamada = ['cru' => [], 'cliente' => []];
$primeiras = ['cru' => [], 'cliente' => [], 'pacote' => []];
for ($rodada = 0; $rodada < $rodadas; $rodada++) {
    // In turn, the order swapped every round: neither side always runs on a warmer machine.
    $ordem = $rodada % 2 === 0 ? ['cru', 'cliente'] : ['cliente', 'cru'];
    foreach ($medir($ordem) as $lado => $tempo) {
        $porChamada[$lado][] = $tempo;
    }
}
foreach ($primeira as $medirPrimeira) {
    $medirPrimeira();
}
for ($i = 0; $i < $pares; $i++) {
    $lados = ['cru', 'cliente', 'pacote'];
    foreach ($i % 2 === 0 ? $lados : array_reverse($lados) as $lado) {
        $primeiras[$lado][] = $primeira[$lado]();
    }
}

$resultado = [
    'cliente' => 'php',
    'php' => PHP_VERSION,
    'ponte' => $ponte,
    'chamadas' => $chamadas,
    'rodadas' => $rodadas,
    'pares' => $pares,
];
// The ratio of the medians, and the median of each round's (or set's) own ratio (steadier on a busy
// machine, where the load changes from one round to the next).
$medidas = [
    'por_chamada_us' => [$porChamada['cru'], $porChamada['cliente'], 1e3],
    'primeira_resposta_ms' => [$primeiras['cru'], $primeiras['cliente'], 1e6],
    'primeira_resposta_do_pacote_ms' => [$primeiras['cru'], $primeiras['pacote'], 1e6],
];
foreach ($medidas as $nome => [$cru, $cliente, $unidade]) {
    $resultado[$nome] = [
        'cru' => $mediana($cru) / $unidade,
        'cliente' => $mediana($cliente) / $unidade,
        'razao' => $mediana($cliente) / $mediana($cru),
        'razao_por_rodada' => $mediana(array_map(static fn ($a, $b) => $b / $a, $cru, $cliente)),
        'rodadas' => [
            'cru' => array_map(static fn ($t) => $t / $unidade, $cru),
            'cliente' => array_map(static fn ($t) => $t / $unidade, $cliente),
        ],
    ];
}

printf(
    "PHP %s, %s: %d calls x %d rounds, %d starts of each (medians)\n",
    PHP_VERSION,
    $ponte,
    $chamadas,
    $rodadas,
    $pares,
);
printf("%-30s %12s %12s %8s %10s\n", '', 'raw pipes', 'client', 'ratio', 'per round');
$linhas = ['per call' => 'por_chamada_us', 'first answer' => 'primeira_resposta_ms',
    'first answer, packaged bridge' => 'primeira_resposta_do_pacote_ms'];
foreach ($linhas as $titulo => $nome) {
    $unidade = str_ends_with($nome, '_us') ? 'us' : 'ms';
    $r = $resultado[$nome];
    printf(
        "%-30s %9.2f %s %9.2f %s %7.2fx %9.2fx\n",
        $titulo,
        $r['cru'],
        $unidade,
        $r['cliente'],
        $unidade,
        $r['razao'],
        $r['razao_por_rodada'],
    );
}
$carga = sys_getloadavg();
if ($carga !== false) {
    printf("load average at the end: %.2f %.2f %.2f\n", ...$carga);
    $resultado['carga'] = $carga;
}
if (isset($opcoes['json'])) {
    file_put_contents($opcoes['json'], json_encode($resultado, JSON_UNESCAPED_SLASHES | JSON_PRETTY_PRINT) . "\n");
}
