<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

use AcbrPonte\ComandoRecusadoException;
use AcbrPonte\Ponte;
use PHPUnit\Framework\TestCase;

/**
 * What is PHP's own in the options and the commands: argument errors as PHP has them, values sent
 * as JSON, and strings that are bytes (not always UTF-8).
 */
final class ComandosTest extends TestCase
{
    private const PADRAO = ['ok' => true, 'nome' => Apoio::ESPERADA, 'versao' => '0.0.0-falsa'];

    /** @return array<string, array{0: array<string, mixed>, 1: class-string<\Throwable>}> */
    public static function opcoesErradas(): array
    {
        return [
            'tempoLimite 0' => [['tempoLimite' => 0.0], \InvalidArgumentException::class],
            'tempoLimite negativo' => [['tempoLimite' => -1.0], \InvalidArgumentException::class],
            'tempoLimite NAN' => [['tempoLimite' => NAN], \InvalidArgumentException::class],
            'tempoLimite INF' => [['tempoLimite' => INF], \InvalidArgumentException::class],
            'tempoLimite texto' => [['tempoLimite' => '30'], \TypeError::class],
            'comandosPorPonte negativo' => [['comandosPorPonte' => -1], \InvalidArgumentException::class],
            'comandosPorPonte fracionario' => [['comandosPorPonte' => 1.5], \TypeError::class],
            'arquitetura desconhecida' => [['arquitetura' => 'arm64'], \InvalidArgumentException::class],
            'executavel vazio' => [['executavel' => ''], \InvalidArgumentException::class],
            'executavel com NUL' => [['executavel' => "/x\0y"], \InvalidArgumentException::class],
            'acbrDir com NUL' => [['acbrDir' => "/x\0y"], \InvalidArgumentException::class],
            'pastaDeConfiguracao vazia' => [['pastaDeConfiguracao' => ''], \InvalidArgumentException::class],
            'opcao desconhecida' => [['tempo_limite' => 1.0], \Error::class],
        ];
    }

    /**
     * @dataProvider opcoesErradas
     * @param array<string, mixed> $opcoes
     * @param class-string<\Throwable> $classe
     */
    public function testOpcoesErradasSaoErrosDeArgumento(array $opcoes, string $classe): void
    {
        $this->expectException($classe);
        new Ponte(...$opcoes);
    }

    public function testNadaComecaAntesDaPrimeiraChamada(): void
    {
        $ponte = new Ponte('/nao/existe', acbrDir: '/y', tempoLimite: 1, pastaDeConfiguracao: '/z');
        $this->assertNull($ponte->pid());
        $this->assertSame(1.0, $ponte->tempoLimite);
    }

    public function testValoresVaoComoJsonCompactoSemEscaparOQueNaoEAscii(): void
    {
        $this->precisaDaPonte();
        $ponte = new Ponte(Apoio::ponte(), acbrDir: Apoio::falsaC());
        $this->assertSame(self::PADRAO, $ponte->enviar(['cmd' => 'versao']));
        $this->assertSame(self::PADRAO, $ponte->enviar(['versao']));
        $this->assertSame(self::PADRAO, $ponte->enviar((object) ['cmd' => 'versao']));
        // Not escaped: the column counts the two bytes of each of ç and ã.
        $this->assertSame(
            'comando inválido: unknown variant `ação`, expected `versao` at line 1 column 15',
            $ponte->enviar(['cmd' => 'ação'])['erro'],
        );
        // A line feed inside a JSON string is escaped: the value goes as one line.
        $this->assertSame(
            "comando inválido: unknown variant `a\nb`, expected `versao` at line 1 column 13",
            $ponte->enviar(['cmd' => "a\nb"])['erro'],
        );
        $ponte->fechar();
    }

    /** @return array<string, array{0: mixed, 1: string}> */
    public static function recusados(): array
    {
        $circular = [];
        $circular[] = &$circular;
        return [
            'NAN' => [NAN, 'o comando não tem forma JSON: Inf and NaN cannot be JSON encoded'],
            'INF dentro' => [['v' => INF], 'o comando não tem forma JSON: Inf and NaN cannot be JSON encoded'],
            'circular' => [$circular, 'o comando não tem forma JSON: '],
            'recurso' => [STDIN, 'o comando não tem forma JSON: Type is not supported'],
            'bytes soltos' => ["{\"cmd\":\"\xff\"}", 'o comando não é UTF-8 válido'],
            'sequencia cortada' => ["{\"cmd\":\"\xc3\"}", 'o comando não é UTF-8 válido'],
            'surrogate em UTF-8' => ["\xed\xa0\x80", 'o comando não é UTF-8 válido'],
            'forma longa' => ["\xc0\xaf", 'o comando não é UTF-8 válido'],
            'bytes num valor' => [['cmd' => "vers\xe3o"], 'o comando não é UTF-8 válido'],
            'branco e bytes' => [" \xa0", 'o comando não é UTF-8 válido'],
        ];
    }

    /** @dataProvider recusados */
    public function testRecusadosAntesDeEscrever(mixed $comando, string $mensagem): void
    {
        $ponte = new Ponte('/nao/existe');
        try {
            $ponte->enviar($comando);
            $this->fail('not refused');
        } catch (ComandoRecusadoException $erro) {
            $this->assertStringStartsWith($mensagem, $erro->getMessage());
        }
        $this->assertNull($ponte->pid());
    }

    private function precisaDaPonte(): void
    {
        if (!Apoio::haPonte()) {
            $this->markTestSkipped(Apoio::SEM_PONTE);
        }
    }
}
