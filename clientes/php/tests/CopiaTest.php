<?php

declare(strict_types=1);

namespace AcbrPonte\Testes;

use AcbrPonte\Localizacao;
use AcbrPonte\LocalInseguroException;
use AcbrPonte\Ponte;
use AcbrPonte\PonteNaoIniciadaException;
use PHPUnit\Framework\TestCase;

/**
 * The copy of the packaged bridge, where PHP differs from the other clients: several host
 * processes placing it at once, a damaged package, and a copy changed in place (PHP gives file
 * times in whole seconds).
 */
final class CopiaTest extends TestCase
{
    private string $pasta = '';
    private string $pacote = '';
    private string $sha256 = '';
    private string $chave = '';

    protected function setUp(): void
    {
        if (!Apoio::haPonte()) {
            $this->markTestSkipped(Apoio::SEM_PONTE);
        }
        $chave = Localizacao::chaveDaPlataforma(null);
        if ($chave === null || !Apoio::linux()) {
            $this->markTestSkipped('the packaged bridge of Linux on x86');
        }
        $this->chave = $chave;
        $this->pasta = Apoio::pastaTemporaria('acbr-ponte-copia-');
        $this->pacote = $this->pasta . '/pacote';
        mkdir("{$this->pacote}/{$chave}", 0755, true);
        copy(Apoio::ponte(), "{$this->pacote}/{$chave}/acbr-ponte");
        chmod("{$this->pacote}/{$chave}/acbr-ponte", 0755);
        $this->sha256 = hash_file('sha256', Apoio::ponte());
        file_put_contents("{$this->pacote}/{$chave}/acbr-ponte.sha256", "{$this->sha256}  acbr-ponte\n");
        Localizacao::$pastaDoPacote = $this->pacote;
        Apoio::definir('ACBR_PONTE', null);
    }

    protected function tearDown(): void
    {
        Localizacao::$pastaDoPacote = null;
        Apoio::definir('ACBR_PONTE', Apoio::ponte());
        if ($this->pasta !== '') {
            Apoio::apagar($this->pasta);
        }
    }

    /** @return list<string> */
    private static function conteudo(string $pasta): array
    {
        return array_values(array_diff(scandir($pasta) ?: [], ['.', '..']));
    }

    private function nomeDaCopia(): string
    {
        return 'acbr-ponte-' . Ponte::VERSAO . "-{$this->chave}-" . substr($this->sha256, 0, 16);
    }

    public function testHostsQueComecamJuntosDeixamUmaCopia(): void
    {
        $config = $this->pasta . '/config';
        $hosts = [];
        for ($i = 0; $i < 4; $i++) {
            $canos = [];
            $processo = proc_open(
                [PHP_BINARY, __DIR__ . '/hosts/copia.php', $this->pacote, Apoio::falsaC(), $config],
                [['pipe', 'r'], ['pipe', 'w'], ['pipe', 'w']],
                $canos,
                null,
                ['ACBR_PONTE' => ''] + getenv(),
            );
            $hosts[] = [$processo, $canos];
        }
        foreach ($hosts as [, $canos]) {  // all at once, once all are up
            fwrite($canos[0], "\n");
            fclose($canos[0]);
        }
        foreach ($hosts as [$processo, $canos]) {
            $saida = stream_get_contents($canos[1]);
            $erro = stream_get_contents($canos[2]);
            fclose($canos[1]);
            fclose($canos[2]);
            $this->assertSame([0, Apoio::ESPERADA . "\n", ''], [proc_close($processo), $saida, $erro]);
        }
        // The copies and their temporary files; the library may have written its acbrlib.ini.
        $copias = preg_grep('/^\.?acbr-ponte/', self::conteudo($config));
        $this->assertSame([$this->nomeDaCopia()], array_values($copias), 'one copy, no temporary file');
    }

    public function testPacoteComSha256QueNaoConfereNaoECopiado(): void
    {
        file_put_contents("{$this->pacote}/{$this->chave}/acbr-ponte.sha256", str_repeat('0', 64) . "  acbr-ponte\n");
        $config = $this->pasta . '/config';
        $ponte = new Ponte(acbrDir: Apoio::falsaC(), pastaDeConfiguracao: $config);
        try {
            $ponte->versao();
            $this->fail('the damaged bridge was run');
        } catch (PonteNaoIniciadaException $erro) {
            $caminho = "{$this->pacote}/{$this->chave}/acbr-ponte";
            $this->assertSame(
                "a ponte do pacote {$caminho} não confere com o sha256 que o pacote traz",
                $erro->getMessage(),
            );
            $this->assertSame($caminho, $erro->executavel);
        }
        $this->assertSame([], self::conteudo($config), 'nothing is left of the copy');
    }

    public function testPastaQueNaoPodeSerCriadaDizOMotivoDoSistema(): void
    {
        // PHP reports it as a warning: the system's reason is taken from it.
        touch($this->pasta . '/arquivo');
        $config = $this->pasta . '/arquivo/config';
        $ponte = new Ponte(acbrDir: Apoio::falsaC(), pastaDeConfiguracao: $config);
        try {
            $ponte->versao();
            $this->fail('no folder, and yet it ran');
        } catch (PonteNaoIniciadaException $erro) {
            $this->assertSame("não foi possível criar a pasta {$config}: File exists", $erro->getMessage());
        }
        $this->assertNull($ponte->pid());
    }

    public function testCopiaMudadaNoLugarEVistaMesmoComTamanhoEDataDeAntes(): void
    {
        // Same inode, same size, the modification time put back, checked last in the same second
        // as the change: only the content (and the change time, which nobody can set) tells.
        $config = $this->pasta . '/config';
        $opcoes = ['acbrDir' => Apoio::falsaC(), 'pastaDeConfiguracao' => $config];
        $ponte = new Ponte(...$opcoes);
        $this->assertSame(Apoio::ESPERADA, $ponte->versao()->nome);  // placed
        $ponte->fechar();
        $copia = "{$config}/{$this->nomeDaCopia()}";
        clearstatcache();
        $antes = stat($copia);
        time_sleep_until($antes['ctime'] + 1.05);
        $ponte = new Ponte(...$opcoes);
        $this->assertSame(Apoio::ESPERADA, $ponte->versao()->nome);  // checked again, unchanged
        $ponte->fechar();
        $arquivo = fopen($copia, 'r+b');
        fseek($arquivo, $antes['size'] - 1);
        fwrite($arquivo, chr(ord(file_get_contents($copia, false, null, $antes['size'] - 1)) ^ 1));
        fclose($arquivo);
        touch($copia, $antes['mtime']);
        clearstatcache();
        $depois = stat($copia);
        foreach (['ino', 'size', 'mtime'] as $campo) {
            $this->assertSame($antes[$campo], $depois[$campo], $campo);
        }
        $ponte = new Ponte(...$opcoes);
        try {
            $ponte->versao();
            $this->fail('the changed copy was run');
        } catch (LocalInseguroException $erro) {
            $this->assertSame($copia, $erro->caminho);
            $this->assertSame('a cópia da ponte não confere com a do pacote', $erro->motivo);
        }
        $this->assertNull($ponte->pid());
    }
}
