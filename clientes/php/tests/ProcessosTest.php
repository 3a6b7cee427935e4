<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

use AcbrPonte\Ponte;
use AcbrPonte\Sinais;
use PHPUnit\Framework\TestCase;

/**
 * What is PHP's own about processes: a worker that serves many requests with one Ponte, fork,
 * the object's end, a script that ends (or dies of a fatal error) with its Ponte open, signal
 * handlers, and SIGPIPE.
 */
final class ProcessosTest extends TestCase
{
    private int $descritoresAntes = 0;

    protected function setUp(): void
    {
        if (!Apoio::haPonte()) {
            $this->markTestSkipped(Apoio::SEM_PONTE);
        }
        $this->descritoresAntes = Apoio::linux() ? Apoio::descritores() : 0;
    }

    protected function tearDown(): void
    {
        Apoio::definir('ACBR_FALSA_DEFEITO', null);
        if (Apoio::linux() && $this->getStatus() === \PHPUnit\Runner\BaseTestRunner::STATUS_PASSED) {
            $this->assertSame([], Apoio::filhos(), 'child processes left behind');
            $this->assertSame($this->descritoresAntes, Apoio::descritores(), 'descriptors left open');
        }
    }

    public function testTrabalhadorServeMuitosPedidosComUmaPonte(): void
    {
        // A fresh bridge every 5 commands; the library crashes or hangs in the bridges started
        // for jobs 6, 12 and 18 (a running bridge keeps the environment it started with); nothing
        // is left at the end.
        $trabalhos = array_fill(0, 40, 'versao');
        [$trabalhos[5], $trabalhos[11], $trabalhos[17]] = ['queda', 'trava', 'queda'];
        [$codigo, $saida, $erro] = Apoio::executarHost(
            'trabalhador.php',
            [Apoio::falsaC(), '5'],
            ['ACBR_PONTE' => Apoio::ponte()],
            implode("\n", $trabalhos) . "\n",
        );
        $this->assertSame([0, ''], [$codigo, $erro]);
        $linhas = explode("\n", trim($saida));
        $this->assertSame('filhos: 0', array_pop($linhas));
        $this->assertCount(40, $linhas);
        $pids = [];
        foreach ($linhas as $i => $linha) {
            [$resultado, $pid] = explode(' ', $linha);
            $esperado = match ($trabalhos[$i]) {
                'queda' => 'PonteEncerradaException',
                'trava' => 'TempoEsgotadoException',
                default => 'ok',
            };
            $this->assertSame($esperado, $resultado, "job " . ($i + 1));
            $pids[] = $pid;
        }
        // Runs of jobs on one bridge: 5 commands each; a failure leaves none ('-').
        $seguidas = [];
        foreach ($pids as $i => $pid) {
            if ($i > 0 && $pid === $pids[$i - 1]) {
                $seguidas[count($seguidas) - 1]++;
            } else {
                $seguidas[] = 1;
            }
        }
        $this->assertSame([5, 1, 5, 1, 5, 1, 5, 5, 5, 5, 2], $seguidas);
    }

    public function testFilhoDeForkUsaUmaPonteSua(): void
    {
        if (!function_exists('pcntl_fork')) {
            $this->markTestSkipped('needs pcntl_fork');
        }
        $ambiente = ['ACBR_PONTE' => Apoio::ponte()];
        [$codigo, $saida, $erro] = Apoio::executarHost('bifurcar.php', [Apoio::falsaC()], $ambiente);
        $this->assertSame([0, ''], [$codigo, $erro]);
        $relatos = [];
        foreach (explode("\n", trim($saida)) as $linha) {
            $relatos += json_decode($linha, true, 512, JSON_THROW_ON_ERROR);
        }
        ['filho' => $filho, 'pai' => $pai] = $relatos;
        $this->assertNull($filho['pid_antes'], "the parent's bridge is not the child's");
        $this->assertSame(Apoio::ESPERADA, $filho['nome']);
        $this->assertNotSame($filho['da_ponte_do_pai'], $filho['pid']);
        // The child's end (its destructors, its shutdown functions) left the parent's bridge alone.
        $this->assertSame(0, $pai['status_do_filho']);
        $this->assertSame($pai['pid_antes'], $pai['pid']);
        $this->assertSame(Apoio::ESPERADA, $pai['nome']);
    }

    public function testPonteQueSaiDeCenaEEncerradaECeifada(): void
    {
        $pid = (static function (): int {
            $ponte = new Ponte(Apoio::ponte(), acbrDir: Apoio::falsaC());
            $ponte->versao();
            return (int) $ponte->pid();
        })();
        $this->assertSame('?', Apoio::estadoDoProcesso($pid), 'the bridge outlived its Ponte');
    }

    /** @return array<string, array{0: list<string>}> */
    public static function finsDoScript(): array
    {
        return ['fim normal' => [[]], 'erro fatal' => [['fatal']]];
    }

    /**
     * @dataProvider finsDoScript
     * @param list<string> $como
     */
    public function testScriptQueAcabaComAPonteAbertaNaoDeixaZumbi(array $como): void
    {
        $ambiente = ['ACBR_PONTE' => Apoio::ponte()];
        [, $saida, $erro] = Apoio::executarHost('sem_fechar.php', [Apoio::falsaC(), ...$como], $ambiente);
        $this->assertMatchesRegularExpression('/^ponte \d+: \?$/m', $saida, $erro);
        if ($como !== []) {
            $this->assertStringContainsString('Allowed memory size', $saida . $erro);
        }
    }

    /** @return array<string, array{0: bool, 1: class-string<\Throwable>}> */
    public static function tratadores(): array
    {
        return ['que lanca' => [false, Interrompido::class], 'que chama a Ponte' => [true, \LogicException::class]];
    }

    /**
     * @dataProvider tratadores
     * @param class-string<\Throwable> $classe
     */
    public function testSinalDuranteUmaChamadaDescartaAPonte(bool $chamaAPonte, string $classe): void
    {
        if (!function_exists('pcntl_async_signals') || !function_exists('pcntl_alarm')) {
            $this->markTestSkipped('needs pcntl');
        }
        // A handler that throws while the answer is pending, or that calls the same Ponte (one
        // call cannot wait inside another): the answer would arrive later and be taken for the
        // next call's, so the bridge goes.
        $ponte = new Ponte(Apoio::ponte(), acbrDir: Apoio::falsaC(), tempoLimite: 30.0);
        $assincronos = pcntl_async_signals(true);
        pcntl_signal(SIGALRM, static function () use ($ponte, $chamaAPonte): void {
            if ($chamaAPonte) {
                $ponte->versao();
            }
            throw new Interrompido();
        });
        try {
            Apoio::definir('ACBR_FALSA_DEFEITO', 'dorme');
            pcntl_alarm(1);
            try {
                $ponte->versao();
                $this->fail('not interrupted');
            } catch (\Throwable $erro) {
                $this->assertInstanceOf($classe, $erro);
            }
            $this->assertNull($ponte->pid());
            Apoio::definir('ACBR_FALSA_DEFEITO', null);
            $this->assertSame(Apoio::ESPERADA, $ponte->versao()->nome);
        } finally {
            pcntl_alarm(0);
            pcntl_signal(SIGALRM, SIG_DFL);
            pcntl_async_signals($assincronos);
            $ponte->fechar();
        }
    }

    public function testNomesDosSinaisSemPcntlSaoOsDoSistema(): void
    {
        if (!Apoio::linux() || !extension_loaded('pcntl')) {
            $this->markTestSkipped('compares the table for Linux with the names pcntl gives');
        }
        $tabela = (new \ReflectionClassConstant(Sinais::class, 'LINUX'))->getValue();
        foreach ($tabela as $numero => $nome) {
            $this->assertSame($numero, constant($nome), $nome);
            $this->assertSame($nome, Sinais::nome($numero));
        }
        $this->assertCount(31, $tabela);
    }

    public function testEscreverParaAPonteQueSeFoiNaoMataOHostComSigpipe(): void
    {
        if (!function_exists('pcntl_signal') || !function_exists('pcntl_sigprocmask')) {
            $this->markTestSkipped('needs pcntl');
        }
        [$codigo, $saida, $erro] = Apoio::executarHost(
            'sigpipe.php',
            [],
            ['ACBR_PONTE' => Apoio::pontesSimuladas() . '/surda_de_entrada.sh'],
        );
        $this->assertSame([0, "4\n", ''], [$codigo, $saida, $erro]);
    }
}
