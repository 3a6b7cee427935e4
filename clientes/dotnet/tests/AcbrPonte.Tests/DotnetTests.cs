using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace AcbrPonte.Tests;

/// <summary>What is .NET's own and not in the shared table: options and arguments, the
/// synchronous and asynchronous twins, cancellation, disposal, a host that ends without disposing,
/// the thread pool, two host processes placing the same copy, and the answer reader.</summary>
public sealed class DotnetTests : IDisposable
{
    private readonly List<(string Nome, string? Valor)> _ambiente = new();
    private readonly string _pasta = Directory.CreateTempSubdirectory("acbr-ponte-dotnet-").FullName;

    public DotnetTests()
    {
        Definir("XDG_DATA_HOME", Path.Combine(_pasta, "dados"));
    }

    public void Dispose()
    {
        for (int i = _ambiente.Count - 1; i >= 0; i--)
        {
            Apoio.Definir(_ambiente[i].Nome, _ambiente[i].Valor);
        }
        Directory.Delete(_pasta, true);
    }

    private void Definir(string nome, string? valor)
    {
        _ambiente.Add((nome, Environment.GetEnvironmentVariable(nome)));
        Apoio.Definir(nome, valor);
    }

    private static Ponte NovaPonte(TimeSpan? tempoLimite = null, string? acbrDir = null) => new(new OpcoesDaPonte
    {
        Executavel = Apoio.PonteConstruida,
        AcbrDir = acbrDir ?? Apoio.FalsaC,
        TempoLimite = tempoLimite ?? TimeSpan.FromSeconds(10),
    });

    private static readonly Versao Padrao = new(Apoio.Esperada, "0.0.0-falsa");

    public static TheoryData<string, Func<OpcoesDaPonte>, Type> OpcoesErradas() => new()
    {
        { "tempo zero", () => new OpcoesDaPonte { TempoLimite = TimeSpan.Zero }, typeof(ArgumentOutOfRangeException) },
        { "tempo negativo", () => new OpcoesDaPonte { TempoLimite = TimeSpan.FromSeconds(-1) }, typeof(ArgumentOutOfRangeException) },
        { "tempo sem fim, mas não o infinito", () => new OpcoesDaPonte { TempoLimite = TimeSpan.MaxValue }, typeof(ArgumentOutOfRangeException) },
        { "comandos negativos", () => new OpcoesDaPonte { ComandosPorPonte = -1 }, typeof(ArgumentOutOfRangeException) },
        { "arquitetura que não existe", () => new OpcoesDaPonte { Arquitetura = (Arquitetura)7 }, typeof(ArgumentOutOfRangeException) },
        { "executável vazio", () => new OpcoesDaPonte { Executavel = "" }, typeof(ArgumentException) },
        { "pasta vazia", () => new OpcoesDaPonte { PastaDeConfiguracao = "" }, typeof(ArgumentException) },
    };

    [Theory]
    [MemberData(nameof(OpcoesErradas))]
    public void Opcoes_erradas_sao_argument_exceptions(string caso, Func<OpcoesDaPonte> opcoes, Type esperada)
    {
        Assert.IsType(esperada, Record.Exception(() => new Ponte(opcoes())), exactMatch: true);
        Assert.NotEmpty(caso);
    }

    [Fact]
    public void Argumentos_errados_e_texto_sem_forma_utf8_sao_recusados_antes_de_comecar()
    {
        using var ponte = new Ponte(new OpcoesDaPonte { Executavel = "/nao/existe", TempoLimite = Timeout.InfiniteTimeSpan });
        Assert.Throws<ArgumentNullException>(() => ponte.Enviar(null!));
        Assert.Equal("o comando não é UTF-8 válido", Assert.Throws<ComandoRecusadoException>(() => ponte.Enviar("{\"cmd\":\"\ud800\"}")).Message);
        Assert.Equal("o comando não é UTF-8 válido", Assert.Throws<ComandoRecusadoException>(() => ponte.Enviar("\udfff")).Message);
        Assert.Null(ponte.Pid);
        Assert.Null(Assert.Throws<ArgumentNullException>(() => new Ponte(null!)).InnerException);
    }

    [SkippableFact]
    public async Task Gemeas_dao_o_mesmo_que_a_sincrona()
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        await using (Ponte ponte = NovaPonte())
        {
            Assert.Equal(Padrao, ponte.Versao());
            Assert.Equal(Padrao, await ponte.VersaoAsync());
            Assert.Equal(ponte.Enviar("{\"cmd\":\"x\"}").Linha, (await ponte.EnviarAsync("{\"cmd\":\"x\"}")).Linha);
            Assert.Equal(ponte.Enviar("{\"cmd\":\"versao\"}").Linha, (await ponte.EnviarAsync("{\"cmd\":\"versao\"}")).Linha);
            await Assert.ThrowsAsync<ComandoRecusadoException>(() => ponte.EnviarAsync(" "));
        }
        await using (Ponte ponte = NovaPonte(acbrDir: Path.Combine(Apoio.Variantes, "inicializar_falha")))
        {
            Assert.Equal("NFE_Inicializar devolveu -1", Assert.Throws<ErroDaPonteException>(() => ponte.Versao()).Erro);
            Assert.Equal("NFE_Inicializar devolveu -1", (await Assert.ThrowsAsync<ErroDaPonteException>(() => ponte.VersaoAsync())).Erro);
        }
        Definir("ACBR_FALSA_DEFEITO", "acesso_nulo");
        await using (Ponte ponte = NovaPonte())
        {
            var sincrona = Assert.Throws<PonteEncerradaException>(() => ponte.Versao());
            var assincrona = await Assert.ThrowsAsync<PonteEncerradaException>(() => ponte.VersaoAsync());
            Assert.Equal(sincrona.Message, assincrona.Message);
            Assert.Equal((null, "SIGSEGV", 11), (assincrona.Status, assincrona.Sinal, assincrona.NumeroDoSinal));
        }
        Definir("ACBR_FALSA_DEFEITO", "dorme");
        await using (Ponte ponte = NovaPonte(TimeSpan.FromMilliseconds(500)))
        {
            Assert.Equal("a ponte não respondeu em 500 ms e foi encerrada",
                (await Assert.ThrowsAsync<TempoEsgotadoException>(() => ponte.VersaoAsync())).Message);
            Assert.Null(ponte.Pid);
        }
        Apoio.SemFilhos();
    }

    [SkippableFact]
    public async Task Cancelar_a_espera_da_resposta_descarta_a_ponte_e_a_da_vez_nada()
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        await using Ponte ponte = NovaPonte(TimeSpan.FromSeconds(30));
        // Cancelled before: nothing starts.
        await Assert.ThrowsAnyAsync<OperationCanceledException>(() => ponte.VersaoAsync(new CancellationToken(true)));
        Assert.Null(ponte.Pid);

        Definir("ACBR_FALSA_DEFEITO", "dorme");
        using (var cancelamento = new CancellationTokenSource(300))
        {
            var relogio = Stopwatch.StartNew();
            await Assert.ThrowsAnyAsync<OperationCanceledException>(() => ponte.VersaoAsync(cancelamento.Token));
            Assert.True(relogio.Elapsed < TimeSpan.FromSeconds(10), relogio.Elapsed.ToString());
        }
        // Its answer would go to the next call: the bridge is gone, and the next call gets a fresh one.
        Assert.Null(ponte.Pid);
        Apoio.SemFilhos();

        // Cancelled while another call has the turn: that call is not touched.
        var ocupada = ponte.VersaoAsync(); // hangs: the library sleeps
        Assert.True(Apoio.Ate(() => ponte.Pid is not null));
        int pid = ponte.Pid!.Value;
        using (var cancelamento = new CancellationTokenSource(200))
        {
            await Assert.ThrowsAnyAsync<OperationCanceledException>(() => ponte.EnviarAsync("{\"cmd\":\"versao\"}", cancelamento.Token));
        }
        Assert.Equal(pid, ponte.Pid);
        Assert.False(ocupada.IsCompleted);
        Apoio.MatarComSigkill(pid);
        Assert.IsType<PonteEncerradaException>(await Record.ExceptionAsync(() => ocupada));
        Definir("ACBR_FALSA_DEFEITO", null);
        Assert.Equal(Padrao, await ponte.VersaoAsync());
    }

    [SkippableFact]
    public async Task Fechar_deixa_terminar_as_chamadas_ja_feitas()
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        Ponte ponte = NovaPonte();
        Task<Versao>[] feitas = Enumerable.Range(0, 5).Select(_ => ponte.VersaoAsync()).ToArray();
        ponte.Dispose();
        Assert.All(await Task.WhenAll(feitas), v => Assert.Equal(Padrao, v));
        Assert.Null(ponte.Pid);
        Assert.Throws<PonteFechadaException>(() => ponte.Versao());
        await Assert.ThrowsAsync<PonteFechadaException>(() => ponte.EnviarAsync("{\"cmd\":\"versao\"}"));

        Ponte outra = NovaPonte();
        feitas = Enumerable.Range(0, 5).Select(_ => Task.Run(() => outra.Versao())).ToArray();
        Assert.True(Apoio.Ate(() => outra.Pid is not null));
        await outra.DisposeAsync();
        await outra.DisposeAsync(); // twice: harmless
        Assert.All(feitas, f => Assert.True(f.IsCompletedSuccessfully || f.Exception?.InnerException is PonteFechadaException));
        Assert.Null(outra.Pid);
        Apoio.SemFilhos();
    }

    [Fact]
    public void Nenhum_tipo_tem_finalizador()
    {
        // Shutdown is the pipes': the host's end of the bridge's input closes with the host.
        Type[] comFinalizador = typeof(Ponte).Assembly.GetTypes()
            .Where(t => t.GetMethod("Finalize", BindingFlags.Instance | BindingFlags.NonPublic | BindingFlags.DeclaredOnly) is not null)
            .ToArray();
        Assert.Empty(comFinalizador);
    }

    [SkippableFact]
    public void Ponte_esquecida_nao_prende_o_host_e_sai_com_ele()
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        Definir("ACBR_PONTE", Apoio.PonteConstruida);
        Definir("ACBR_DIR", Apoio.FalsaC);
        using (Process host = Hospedeiro.Iniciar(Hospedeiro.Programa, "esquecida"))
        {
            string saida = host.StandardOutput.ReadToEnd();
            Assert.True(host.WaitForExit(30_000), "the host did not end");
            Assert.Equal(0, host.ExitCode);
            string[] linhas = saida.Split('\n', StringSplitOptions.RemoveEmptyEntries);
            Assert.Equal(Apoio.Esperada, linhas[0]);
            int pid = int.Parse(linhas[1], System.Globalization.CultureInfo.InvariantCulture);
            Assert.True(Apoio.Ate(() => Apoio.Terminado(pid)), "the bridge outlived its host");
        }
        using (Process host = Hospedeiro.Iniciar(Hospedeiro.Programa, "parada"))
        {
            int pid = int.Parse(host.StandardOutput.ReadLine()!, System.Globalization.CultureInfo.InvariantCulture);
            Assert.False(Apoio.Terminado(pid));
            host.Kill();
            host.WaitForExit();
            Assert.True(Apoio.Ate(() => Apoio.Terminado(pid)), "the bridge outlived its killed host");
        }
    }

    [SkippableTheory]
    [InlineData(true)]
    [InlineData(false)]
    public async Task Duzentas_chamadas_do_pool_de_threads_cada_uma_com_a_sua_resposta(bool sincronas)
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        await using Ponte ponte = NovaPonte(TimeSpan.FromSeconds(60));
        var relogio = Stopwatch.StartNew();
        Task<object>[] chamadas = sincronas
            ? Enumerable.Range(0, 200)
                .Select(i => Task.Run(() => i % 2 == 0 ? (object)ponte.Versao() : ponte.Enviar($"{{\"cmd\":\"c{i}\"}}")))
                .ToArray()
            : Enumerable.Range(0, 200)
                .Select(async i => i % 2 == 0 ? (object)await ponte.VersaoAsync() : await ponte.EnviarAsync($"{{\"cmd\":\"c{i}\"}}"))
                .ToArray();
        object[] recebidas = await Task.WhenAll(chamadas);
        for (int i = 0; i < 200; i++)
        {
            LinhaDaTabela.ConferirSimultanea(i, recebidas[i]);
        }
        Console.Error.WriteLine($"200 {(sincronas ? "sync" : "async")}: {relogio.ElapsedMilliseconds} ms");
    }

    [SkippableFact]
    public void Dois_processos_colocam_a_mesma_copia_e_deixam_uma()
    {
        Skip.IfNot(Apoio.HaPonte && Apoio.Linux, Apoio.SemPonte);
        string chave = Localizacao.ChaveDaPlataforma(null)!;
        string aplicacao = Hospedeiro.Copiar(Path.Combine(_pasta, "aplicacao"));
        string resumo = Apoio.PorNoPacote(Path.Combine(aplicacao, "runtimes"), chave, Apoio.PonteConstruida);
        // PorNoPacote lays out <rid>/; the SDK lays out runtimes/<rid>/native/.
        string nativa = Path.Combine(aplicacao, "runtimes", chave, "native");
        Directory.CreateDirectory(nativa);
        foreach (string arquivo in Directory.GetFiles(Path.Combine(aplicacao, "runtimes", chave)))
        {
            File.Move(arquivo, Path.Combine(nativa, Path.GetFileName(arquivo)));
        }
        Definir("ACBR_PONTE", null);
        string config = Path.Combine(_pasta, "config");
        Process[] hosts = Enumerable.Range(0, 4)
            .Select(_ => Hospedeiro.Iniciar(Path.Combine(aplicacao, "Hospedeiro.dll"), "copia", config, Apoio.FalsaC))
            .ToArray();
        foreach (Process host in hosts) // all at once, once all are up
        {
            host.StandardInput.WriteLine();
            host.StandardInput.Flush();
        }
        foreach (Process host in hosts)
        {
            string saida = host.StandardOutput.ReadToEnd();
            string erro = host.StandardError.ReadToEnd();
            Assert.True(host.WaitForExit(60_000));
            Assert.Equal((0, Apoio.Esperada + "\n", ""), (host.ExitCode, saida, erro));
            host.Dispose();
        }
        // One copy and no temporary file; beside it, the library's configuration file.
        Assert.Equal(new[] { $"acbr-ponte-{Ponte.VersaoDoCliente}-{chave}-{resumo[..16]}", "acbrlib.ini" },
            Directory.GetFiles(config).Select(Path.GetFileName).Order(StringComparer.Ordinal));
    }

    [SkippableFact]
    public void A_copia_so_e_lida_de_novo_quando_muda()
    {
        Skip.IfNot(Apoio.HaPonte && Apoio.Linux, Apoio.SemPonte);
        string chave = Localizacao.ChaveDaPlataforma(null)!;
        string pacote = Path.Combine(_pasta, "pacote");
        string resumo = Apoio.PorNoPacote(pacote, chave, Path.Combine(Apoio.PontesSimuladas, "responde_pacote.sh"));
        string config = Path.Combine(_pasta, "config");
        string copia = Path.Combine(config, $"acbr-ponte-{Ponte.VersaoDoCliente}-{chave}-{resumo[..16]}");
        Definir("ACBR_PONTE", null);
        using var ponte = new Ponte(new OpcoesDaPonte { PastaDeConfiguracao = config, PastaDoPacote = pacote, ComandosPorPonte = 1 });
        Assert.Equal("pacote", ponte.Versao().Nome);
        var quando = new DateTime(2020, 1, 2, 3, 4, 5, DateTimeKind.Utc);
        File.SetLastWriteTimeUtc(copia, quando);
        Assert.Equal("pacote", ponte.Versao().Nome); // changed on disk: read again, and still right
        // Rewritten in place with its time put back: the change time still tells, and nothing runs.
        byte[] conteudo = File.ReadAllBytes(copia);
        using (var arquivo = new FileStream(copia, FileMode.Open, FileAccess.Write))
        {
            arquivo.Write(Encoding.UTF8.GetBytes(Encoding.UTF8.GetString(conteudo).Replace("\"pacote\"", "\"pacotX\"", StringComparison.Ordinal)));
        }
        File.SetLastWriteTimeUtc(copia, quando);
        Assert.Equal("a cópia da ponte não confere com a do pacote", Assert.Throws<LocalInseguroException>(() => ponte.Versao()).Motivo);
    }

    public static TheoryData<string, string?> Respostas() => new()
    {
        // the line; the members it gives as ok|nome|versao|erro|versao_valida, or null: not an answer
        { "{\"ok\":true,\"nome\":\"a\",\"versao\":\"b\"}", "True|a|b||True" },
        { " \t{\"versao\" : \"x\", \"ok\":false,\"erro\":\"e\\u00e7\\n\\\"\\/\"}\r", "False||x|eç\n\"/|True" },
        { "{\"ok\":true,\"nome\":\"a\",\"nome\":\"b\",\"ok\":false,\"ok\":true}", "True|b|||True" },
        { "{\"ok\":true,\"x\":[1,-2.5e+3,0.1E-2,{\"a\":[true,false,null,{}]},[],\"\\\"\\\\\"],\"nome\":\"\\ud83d\\ude00\"}", "True|😀|||True" },
        { "{\"\\u006fk\":true,\"nome\":null}", "True||||False" },
        { "{\"ok\":true,\"versao\":5}", "True||||False" },
        { "{\"ok\":false}", "False||||False" },
        { "{\"ok\":true,\"fundo\":" + new string('[', 5000) + new string(']', 5000) + "}", "True||||True" },
        { "{\"ok\":\"true\"}", null },
        { "{\"ok\":true,}", null },
        { "{\"ok\":true} x", null },
        { "{\"ok\":true}{}", null },
        { "{\"ok\":true,\"nome\":\"a\tb\"}", null },
        { "{\"ok\":true,\"n\":01}", null },
        { "{\"ok\":true,\"n\":1.}", null },
        { "{\"ok\":true,\"n\":-}", null },
        { "{\"ok\":true,\"n\":\"\\u12\"}", null },
        { "{\"ok\":true,\"n\":\"\\x\"}", null },
        { "{\"ok\":tru}", null },
        { "{\"ok\":true,\"n\":[1,]}", null },
        { "{\"ok\":true,\"n\":{\"a\"}}", null },
        { "{\"ok\":true,\"n\":[[]}", null },
        { "{'ok':true}", null },
        { "[true]", null },
        { "", null },
        { "\ufeff{\"ok\":true}", null },
    };

    [Theory]
    [MemberData(nameof(Respostas))]
    public void Leitor_de_respostas(string linha, string? membros)
    {
        byte[] bytes = Encoding.UTF8.GetBytes(linha);
        if (membros is null)
        {
            Assert.Equal(linha, Assert.Throws<RespostaInvalidaException>(() => Comando.LerResposta(bytes)).Linha);
            return;
        }
        Resposta resposta = Comando.LerResposta(bytes);
        Assert.Equal(membros, $"{resposta.Ok}|{resposta.Nome}|{resposta.Versao}|{resposta.Erro}|{resposta.VersaoValida}");
        Assert.Equal(linha, resposta.Linha);
    }

    [Fact]
    public void Resposta_que_nao_e_utf8_e_invalida_e_mostrada_com_substituicao()
    {
        byte[] linha = { (byte)'{', (byte)'"', 0xFF, (byte)'"', (byte)':', (byte)'1', (byte)'}' };
        Assert.Equal("{\"\ufffd\":1}", Assert.Throws<RespostaInvalidaException>(() => Comando.LerResposta(linha)).Linha);
    }
}

/// <summary>The host program of the tests (tests/Hospedeiro), run with the dotnet that runs them.</summary>
internal static class Hospedeiro
{
    internal static readonly string Programa = Path.Combine(AppContext.BaseDirectory, "Hospedeiro.dll");

    private static string Dotnet()
    {
        string? caminho = Environment.GetEnvironmentVariable("DOTNET_HOST_PATH");
        if (!string.IsNullOrEmpty(caminho))
        {
            return caminho;
        }
        caminho = Environment.ProcessPath;
        return caminho is not null && Path.GetFileNameWithoutExtension(caminho) == "dotnet" ? caminho : "dotnet";
    }

    internal static Process Iniciar(string programa, params string[] argumentos)
    {
        var inicio = new ProcessStartInfo(Dotnet())
        {
            UseShellExecute = false,
            RedirectStandardInput = true,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
        };
        inicio.ArgumentList.Add(programa);
        foreach (string argumento in argumentos)
        {
            inicio.ArgumentList.Add(argumento);
        }
        return Process.Start(inicio)!;
    }

    /// <summary>The host program alone in a folder of its own, as an application is installed.</summary>
    internal static string Copiar(string destino)
    {
        Directory.CreateDirectory(destino);
        foreach (string nome in new[] { "Hospedeiro.dll", "Hospedeiro.runtimeconfig.json", "Hospedeiro.deps.json", "AcbrPonte.dll" })
        {
            File.Copy(Path.Combine(AppContext.BaseDirectory, nome), Path.Combine(destino, nome));
        }
        return destino;
    }
}
