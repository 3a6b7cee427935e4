<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

use AcbrPonte\AcbrPonteException;
use AcbrPonte\Localizacao;
use AcbrPonte\Ponte;
use AcbrPonte\Sistema;
use AcbrPonte\Versao;
use PHPUnit\Framework\TestCase;

/**
 * The table of client cases every acbr-ponte client runs (clientes/casos/casos.json): each row,
 * with each of its stand-ins, is one test here.
 */
final class CasosTest extends TestCase
{
    /**
     * Rows this client cannot run, with the reason.
     *
     * @var array<string, string>
     */
    public const NAO_EXECUTAVEIS = [
        'simultaneas_1000' => self::SEM_THREADS,
        'simultaneas_7' => self::SEM_THREADS,
    ];
    private const SEM_THREADS = 'PHP makes no two calls on one Ponte at once: a script runs in one thread, and a call '
        . 'does not yield to other Fibers while it waits (each process of a pre-forking server or worker pool has '
        . 'its own Ponte)';

    private const NOMES = ['ponte', 'acbr_dir', 'variantes', 'arquivo_da_lib', 'pasta', 'dados', 'pasta_da_ponte',
        'nome_da_copia', 'nome_da_copia_x86'];

    /** @var array<string, mixed>|null */
    private static ?array $tabela = null;

    private string $pasta = '';
    /** @var array<string, string|false> the environment's values before the row changed them */
    private array $ambienteOriginal = [];
    /** @var array<string, string> */
    private array $nomes = [];
    /** @var list<?int> */
    private array $pids = [];

    /** @return array<string, mixed> */
    private static function tabela(): array
    {
        if (self::$tabela === null) {
            $texto = file_get_contents(Apoio::casos() . '/casos.json');
            self::$tabela = json_decode((string) $texto, true, 512, JSON_THROW_ON_ERROR);
        }
        return self::$tabela;
    }

    /** @return array<string, array{0: array<string, mixed>, 1: string}> */
    public static function linhas(): array
    {
        $tabela = self::tabela();
        $linhas = [];
        foreach ($tabela['casos'] as $caso) {
            foreach ($caso['falsas'] ?? $tabela['padroes']['falsas'] as $falsa) {
                $linhas["{$caso['nome']} ({$falsa})"] = [$caso, $falsa];
            }
        }
        return $linhas;
    }

    public function testATabelaInteiraVirouTestes(): void
    {
        // An empty or half-read table must fail, not pass with nothing run.
        $tabela = self::tabela();
        $this->assertGreaterThanOrEqual(60, count($tabela['casos']));
        $esperadas = 0;
        foreach ($tabela['casos'] as $caso) {
            $esperadas += count($caso['falsas'] ?? $tabela['padroes']['falsas']);
        }
        $this->assertCount($esperadas, self::linhas());
        $nomes = array_column($tabela['casos'], 'nome');
        $alheias = array_diff(array_keys(self::NAO_EXECUTAVEIS), $nomes);
        $this->assertSame([], $alheias, 'rows listed here that the table lacks');
    }

    /**
     * @dataProvider linhas
     * @param array<string, mixed> $caso
     */
    public function testCaso(array $caso, string $falsa): void
    {
        if (isset(self::NAO_EXECUTAVEIS[$caso['nome']])) {
            $this->markTestSkipped(self::NAO_EXECUTAVEIS[$caso['nome']]);
        }
        if (!Apoio::haPonte()) {
            $this->markTestSkipped(Apoio::SEM_PONTE);
        }
        foreach ($caso['exige'] ?? [] as $exigencia) {
            $motivo = self::falta($exigencia);
            if ($motivo !== null) {
                $this->markTestSkipped($motivo);
            }
        }
        $this->pasta = Apoio::pastaTemporaria('acbr-ponte-caso-');
        $dados = $this->pasta . '/dados';
        mkdir($dados);
        $acbrDir = $this->acbrDir($falsa);
        $this->nomes = [
            'ponte' => Apoio::ponte(), 'acbr_dir' => $acbrDir, 'variantes' => Apoio::variantes(),
            'arquivo_da_lib' => Apoio::arquivoDaBiblioteca(), 'pasta' => $this->pasta, 'dados' => $dados,
            'pasta_da_ponte' => $dados . '/acbr-ponte',
        ];
        $executavel = $this->prepararPonte($caso);
        $this->definir('XDG_DATA_HOME', $dados);
        foreach ($this->substituir($caso['ambiente'] ?? []) as $nome => $valor) {
            $this->definir($nome, $valor);
        }
        $padroes = self::tabela()['padroes'];
        $opcoes = $this->substituir($caso['opcoes'] ?? []) + $padroes;
        $descritoresAntes = Apoio::linux() ? Apoio::descritores() : 0;
        $ponte = new Ponte(
            $executavel,
            acbrDir: array_key_exists('acbr_dir', $opcoes) ? $opcoes['acbr_dir'] : $acbrDir,
            tempoLimite: $opcoes['tempo_limite_ms'] / 1000,
            comandosPorPonte: $opcoes['comandos_por_ponte'],
            arquitetura: $opcoes['arquitetura'] ?? null,
            pastaDeConfiguracao: $opcoes['pasta_de_configuracao'] ?? null,
        );
        try {
            foreach ($this->substituir($caso['chamadas']) as $chamada) {
                for ($i = 0; $i < ($chamada['repetir'] ?? 1); $i++) {
                    $this->chamar($ponte, $chamada);
                }
            }
        } finally {
            $ponte->fechar();
        }
        if (isset($caso['pids_por_ponte'])) {
            $seguidas = [];
            foreach ($this->pids as $i => $pid) {
                if ($i > 0 && $pid === $this->pids[$i - 1]) {
                    $seguidas[count($seguidas) - 1]++;
                } else {
                    $seguidas[] = 1;
                }
            }
            $this->assertSame($caso['pids_por_ponte'], $seguidas);
        }
        if (Apoio::linux()) {
            $this->assertSame([], Apoio::filhos(), 'child processes left behind');
            $this->assertSame($descritoresAntes, Apoio::descritores(), 'descriptors left open');
        }
    }

    protected function tearDown(): void
    {
        foreach ($this->ambienteOriginal as $nome => $valor) {
            Apoio::definir($nome, $valor === false ? null : $valor);
        }
        Localizacao::$pastaDoPacote = null;
        if ($this->pasta !== '') {
            Apoio::apagar($this->pasta);
        }
    }

    /** Why the machine does not meet a row's condition, or null when it does. */
    private static function falta(string $exigencia): ?string
    {
        return match ($exigencia) {
            'linux' => Apoio::linux() ? null : 'needs Linux',
            'posix' => PHP_OS_FAMILY !== 'Windows' ? null : 'needs POSIX',
            'root' => Sistema::uidEfetivo() === 0 ? null : 'needs root to give a file to another user',
            'x64' => in_array(Localizacao::chaveDaPlataforma(null), ['linux-x64', 'win-x64'], true)
                ? null : 'needs a 64-bit x86 host',
            'threads' => self::SEM_THREADS,
        };
    }

    private function acbrDir(string $falsa): string
    {
        if ($falsa === 'c') {
            return Apoio::falsaC();
        }
        if ($falsa === 'pascal') {
            if (!Apoio::haPascal()) {
                $this->markTestSkipped(Apoio::SEM_PASCAL);
            }
            return Apoio::falsaPascal();
        }
        if (str_starts_with($falsa, 'variante:')) {
            return Apoio::variantes() . '/' . substr($falsa, strlen('variante:'));
        }
        $this->assertSame('vazia', $falsa);
        @mkdir($this->pasta . '/vazia');
        return $this->pasta . '/vazia';
    }

    /** The file a bridge source names. */
    private function fonte(string $nome): string
    {
        if ($nome === 'construida') {
            return Apoio::ponte();
        }
        if (str_starts_with($nome, 'simulada:')) {
            return Apoio::pontesSimuladas() . '/' . substr($nome, strlen('simulada:')) . '.sh';
        }
        if ($nome === 'inexistente') {
            return $this->pasta . '/nao-existe';
        }
        $this->assertSame('sem_permissao', $nome);
        $caminho = $this->pasta . '/sem-permissao';
        file_put_contents($caminho, "#!/bin/sh\n");
        chmod($caminho, 0644);
        return $caminho;
    }

    private function definir(string $nome, ?string $valor): void
    {
        if (!array_key_exists($nome, $this->ambienteOriginal)) {
            $this->ambienteOriginal[$nome] = getenv($nome);
        }
        Apoio::definir($nome, $valor);
    }

    /**
     * Sets ACBR_PONTE, PATH and the package as the row says; returns the executavel option.
     *
     * @param array<string, mixed> $caso
     */
    private function prepararPonte(array $caso): ?string
    {
        $ponte = $caso['ponte'] ?? self::tabela()['padroes']['ponte'];
        if (is_string($ponte)) {
            // A bridge given by path: the rest of the search is never reached.
            $ponte = ['executavel' => $ponte];
        } else {
            $caminhos = $this->pasta . '/path';
            mkdir($caminhos);
            if (isset($ponte['path'])) {
                copy($this->fonte($ponte['path']), $caminhos . '/acbr-ponte');
                chmod($caminhos . '/acbr-ponte', 0755);
            }
            $this->definir('PATH', $caminhos);
        }
        $this->definir('ACBR_PONTE', !array_key_exists('ACBR_PONTE', $ponte) ? null
            : ($ponte['ACBR_PONTE'] === '' ? '' : $this->fonte($ponte['ACBR_PONTE'])));
        $pacote = $this->pasta . '/pacote';
        mkdir($pacote);
        $chave = Localizacao::chaveDaPlataforma(null) ?? 'linux-x64';
        foreach ($ponte['pacote'] ?? [] as $qual => $fonte) {
            $chaveDaFonte = $qual === 'nativa' ? $chave : explode('-', $chave)[0] . '-x86';
            $pasta = "{$pacote}/{$chaveDaFonte}";
            @mkdir($pasta, 0755, true);
            $origem = $this->fonte($fonte);
            copy($origem, $pasta . '/acbr-ponte');
            chmod($pasta . '/acbr-ponte', 0755);
            $resumo = hash_file('sha256', $origem);
            file_put_contents($pasta . '/acbr-ponte.sha256', "{$resumo}  acbr-ponte\n");
            $this->nomes[$qual === 'nativa' ? 'nome_da_copia' : 'nome_da_copia_x86'] =
                'acbr-ponte-' . Ponte::VERSAO . "-{$chaveDaFonte}-" . substr($resumo, 0, 16);
        }
        Localizacao::$pastaDoPacote = $pacote;
        return isset($ponte['executavel']) ? $this->fonte($ponte['executavel']) : null;
    }

    /** The row's placeholders replaced in every text of $valor (only these names). */
    private function substituir(mixed $valor): mixed
    {
        if (is_string($valor)) {
            return preg_replace_callback(
                '/\{(' . implode('|', self::NOMES) . ')\}/',
                fn (array $achado): string => $this->nomes[$achado[1]] ?? $achado[0],
                $valor,
            );
        }
        if (is_array($valor)) {
            return array_map(fn (mixed $item): mixed => $this->substituir($item), $valor);
        }
        return $valor;
    }

    /** @param array<string, mixed> $chamada */
    private function chamar(Ponte $ponte, array $chamada): void
    {
        foreach ($chamada['ambiente'] ?? [] as $nome => $valor) {
            $this->definir($nome, $valor);
        }
        foreach ($chamada['antes'] ?? [] as $acao) {
            $this->agir($acao, $ponte);
        }
        $espera = $chamada['espera'] ?? [];
        $metodo = $chamada['metodo'];
        $antes = $ponte->pid();
        if ($metodo === 'fechar') {
            $ponte->fechar();
            $this->conferirPid($espera, $antes, $ponte->pid());
            return;
        }
        $this->assertContains($metodo, ['versao', 'enviar'], "a call this runner does not know: {$metodo}");
        try {
            $valor = $metodo === 'versao' ? $ponte->versao() : $ponte->enviar($chamada['comando']);
        } catch (AcbrPonteException $erro) {
            $this->assertArrayHasKey('erro', $espera, 'unexpected ' . get_class($erro) . ': ' . $erro->getMessage());
            $this->conferirErro($erro, $espera['erro']);
            if ($chamada['matar_pid_do_stderr'] ?? false) {
                Apoio::matar((int) trim($erro->stderr));
            }
            $valor = null;
        }
        if ($valor !== null) {
            if (isset($espera['versao'])) {
                $this->assertEquals(new Versao($espera['versao']['nome'], $espera['versao']['versao']), $valor);
            } elseif (isset($espera['resposta'])) {
                $this->assertSame($espera['resposta'], $valor);
            } else {
                $this->fail("{$metodo} returned " . var_export($valor, true) . ', expected ' . json_encode($espera));
            }
        }
        $this->pids[] = $ponte->pid();
        $this->conferirPid($espera, $antes, $ponte->pid());
        foreach ($espera['existe'] ?? [] as $caminho) {
            $this->assertTrue(file_exists($caminho) || is_link($caminho), "{$caminho} does not exist");
        }
        foreach ($espera['nao_existe'] ?? [] as $caminho) {
            $this->assertFalse(file_exists($caminho) || is_link($caminho), "{$caminho} exists");
        }
        if (isset($espera['conta_linhas'])) {
            $conta = $espera['conta_linhas'];
            $linhas = file($conta['arquivo'], FILE_IGNORE_NEW_LINES) ?: [];
            $this->assertCount($conta['vezes'], array_keys($linhas, $conta['linha'], true), implode("\n", $linhas));
        }
    }

    /** @param array<string, mixed> $espera */
    private function conferirPid(array $espera, ?int $antes, ?int $depois): void
    {
        switch ($espera['pid'] ?? null) {
            case 'nenhum':
                $this->assertNull($depois);
                break;
            case 'mesmo':
                $this->assertNotNull($depois);
                $this->assertSame($antes, $depois);
                break;
            case 'novo':
                $this->assertNotNull($depois);
                $this->assertNotSame($antes, $depois);
                break;
        }
    }

    /** @param array<string, mixed> $espera */
    private function conferirErro(AcbrPonteException $erro, array $espera): void
    {
        $classe = substr(strrchr(get_class($erro), '\\'), 1);
        $this->assertSame($espera['classe'] . 'Exception', $classe, $erro->getMessage());
        $mensagem = $erro->getMessage();
        $stderr = property_exists($erro, 'stderr') ? $erro->stderr : '';
        foreach ($espera as $campo => $valor) {
            switch ($campo) {
                case 'classe':
                    break;
                case 'tempo_limite_ms':
                    $this->assertSame($valor, (int) round($erro->tempoLimite * 1000));
                    break;
                case 'mensagem':
                    $this->assertSame($valor, $mensagem);
                    break;
                case 'mensagem_comeca':
                    $this->assertStringStartsWith($valor, $mensagem);
                    break;
                case 'stderr_contem':
                    foreach ($valor as $trecho) {
                        $this->assertStringContainsString($trecho, $stderr);
                    }
                    break;
                case 'stderr_nao_contem':
                    foreach ($valor as $trecho) {
                        $this->assertStringNotContainsString($trecho, $stderr);
                    }
                    break;
                case 'stderr_termina':
                    $this->assertStringEndsWith($valor, $stderr);
                    break;
                case 'stderr_bytes':
                    $this->assertGreaterThanOrEqual($valor[0], strlen($stderr));
                    $this->assertLessThanOrEqual($valor[1], strlen($stderr));
                    break;
                default:
                    $this->assertTrue(property_exists($erro, $campo), "no attribute {$campo}");
                    $this->assertSame($valor, $erro->{$campo}, $campo);
            }
        }
    }

    /** @param array<string, mixed> $acao */
    private function agir(array $acao, Ponte $ponte): void
    {
        $caminho = $acao['caminho'] ?? '';
        switch ($acao['acao']) {
            case 'criar_pasta':
                @mkdir($caminho, 0700, true);
                chmod($caminho, intval($acao['modo'], 8));
                break;
            case 'mudar_modo':
                chmod($caminho, intval($acao['modo'], 8));
                break;
            case 'mudar_dono':
                chown($caminho, Apoio::OUTRO_USUARIO);
                chgrp($caminho, Apoio::OUTRO_USUARIO);
                break;
            case 'escrever':
                if (file_exists($caminho) || is_link($caminho)) {
                    unlink($caminho);
                }
                file_put_contents($caminho, $acao['conteudo']);
                chmod($caminho, intval($acao['modo'], 8));
                break;
            case 'link_simbolico':
                symlink($acao['alvo'], $caminho);
                break;
            case 'remover':
                unlink($caminho);
                break;
            case 'matar_ponte':
                $pid = $ponte->pid();
                $this->assertNotNull($pid);
                Apoio::matar($pid);
                $prazo = hrtime(true) + 10_000_000_000;
                while (!in_array(Apoio::estadoDoProcesso($pid), ['Z', '?'], true) && hrtime(true) < $prazo) {
                    usleep(10_000);
                }
                break;
            default:
                $this->fail("unknown action {$acao['acao']}");
        }
    }
}
