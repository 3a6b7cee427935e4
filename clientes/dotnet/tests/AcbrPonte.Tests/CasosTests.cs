using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Text;
using System.Text.Json;
using System.Text.RegularExpressions;
using System.Threading;
using System.Threading.Tasks;
using Xunit;

namespace AcbrPonte.Tests;

/// <summary>The table of client cases every acbr-ponte client runs (clientes/casos/casos.json):
/// each row, with each of its stand-ins, is one test here.</summary>
public sealed class CasosTests
{
    private static readonly JsonElement Tabela = LerTabela();
    private static readonly JsonElement Padroes = Tabela.GetProperty("padroes");

    /// <summary>Rows this client cannot run, with the reason. The .NET client runs them all.</summary>
    internal static readonly Dictionary<string, string> NaoExecutaveis = new();

    private static JsonElement LerTabela()
    {
        string arquivo = Path.Combine(Apoio.Casos, "casos.json");
        if (!File.Exists(arquivo))
        {
            return JsonDocument.Parse("{\"padroes\":{},\"casos\":[]}").RootElement;
        }
        return JsonDocument.Parse(File.ReadAllBytes(arquivo)).RootElement;
    }

    private static IEnumerable<JsonElement> Linhas => Tabela.GetProperty("casos").EnumerateArray();

    private static IEnumerable<string> FalsasDe(JsonElement caso) =>
        (caso.TryGetProperty("falsas", out JsonElement falsas) ? falsas : Padroes.GetProperty("falsas"))
        .EnumerateArray().Select(f => f.GetString()!);

    public static TheoryData<string, string> Casos()
    {
        var dados = new TheoryData<string, string>();
        foreach (JsonElement caso in Linhas)
        {
            foreach (string falsa in FalsasDe(caso))
            {
                dados.Add(caso.GetProperty("nome").GetString()!, falsa);
            }
        }
        return dados;
    }

    [SkippableTheory]
    [MemberData(nameof(Casos))]
    public void Caso(string nome, string falsa)
    {
        Skip.IfNot(Apoio.HaPonte, Apoio.SemPonte);
        Skip.If(NaoExecutaveis.TryGetValue(nome, out string? motivo), motivo);
        JsonElement caso = Linhas.Single(c => c.GetProperty("nome").GetString() == nome);
        using var linha = new LinhaDaTabela(caso, falsa, Padroes);
        linha.Executar();
    }

    [Fact]
    public void A_tabela_inteira_virou_testes()
    {
        // An empty or half-read table must fail, not pass with nothing run.
        Assert.True(File.Exists(Path.Combine(Apoio.Casos, "casos.json")), "clientes/casos/casos.json not found");
        var nomes = Linhas.Select(c => c.GetProperty("nome").GetString()!).ToList();
        Assert.True(nomes.Count >= 60, $"only {nomes.Count} rows");
        Assert.Equal(nomes.Count, nomes.Distinct().Count());
        Assert.Equal(Linhas.Sum(c => FalsasDe(c).Count()), Casos().Count());
        Assert.Subset(nomes.ToHashSet(), NaoExecutaveis.Keys.ToHashSet());
    }
}

/// <summary>One row of the table, run with one stand-in.</summary>
internal sealed class LinhaDaTabela : IDisposable
{
    private const int OutroUsuario = 65534;
    private static readonly Regex Marcador = new(
        @"\{(ponte|acbr_dir|variantes|arquivo_da_lib|pasta|dados|pasta_da_ponte|nome_da_copia|nome_da_copia_x86)\}");

    private readonly JsonElement _caso;
    private readonly string _falsa;
    private readonly JsonElement _padroes;
    private readonly string _pasta;
    private readonly string _dados;
    private readonly Dictionary<string, string?> _ambienteOriginal = new();
    private readonly List<int?> _pids = new();
    private readonly Dictionary<string, string> _nomes = new();

    internal LinhaDaTabela(JsonElement caso, string falsa, JsonElement padroes)
    {
        _caso = caso;
        _falsa = falsa;
        _padroes = padroes;
        _pasta = Directory.CreateTempSubdirectory("acbr-ponte-caso-").FullName;
        _dados = Path.Combine(_pasta, "dados");
        Directory.CreateDirectory(_dados);
    }

    public void Dispose()
    {
        foreach ((string nome, string? valor) in _ambienteOriginal)
        {
            Apoio.Definir(nome, valor);
        }
        foreach (string sub in Directory.EnumerateDirectories(_pasta, "*", SearchOption.AllDirectories))
        {
            if (new DirectoryInfo(sub).LinkTarget is null)
            {
                File.SetUnixFileMode(sub, UnixFileMode.UserRead | UnixFileMode.UserWrite | UnixFileMode.UserExecute);
            }
        }
        Directory.Delete(_pasta, true);
    }

    private string AcbrDir()
    {
        if (_falsa == "c")
        {
            return Apoio.FalsaC;
        }
        if (_falsa == "pascal")
        {
            Skip.IfNot(Apoio.HaPascal, Apoio.SemPascal);
            return Apoio.FalsaPascal;
        }
        if (_falsa.StartsWith("variante:", StringComparison.Ordinal))
        {
            return Path.Combine(Apoio.Variantes, _falsa["variante:".Length..]);
        }
        Assert.Equal("vazia", _falsa);
        string vazia = Path.Combine(_pasta, "vazia");
        Directory.CreateDirectory(vazia);
        return vazia;
    }

    private static string? Falta(string exigencia) => exigencia switch
    {
        "linux" => Apoio.Linux ? null : "needs Linux",
        "posix" => !OperatingSystem.IsWindows() ? null : "needs POSIX",
        "root" => !OperatingSystem.IsWindows() && Libc.UsuarioEfetivo() == 0 ? null : "needs root to give a file to another user",
        "x64" => Localizacao.ChaveDaPlataforma(null) is "linux-x64" or "win-x64" ? null : "needs a 64-bit x86 host",
        "threads" => null,
        _ => throw new InvalidOperationException("unknown condition " + exigencia),
    };

    /// <summary>The file a bridge source names.</summary>
    private string Fonte(string nome)
    {
        if (nome == "construida")
        {
            return Apoio.PonteConstruida;
        }
        if (nome.StartsWith("simulada:", StringComparison.Ordinal))
        {
            return Path.Combine(Apoio.PontesSimuladas, nome["simulada:".Length..] + ".sh");
        }
        if (nome == "inexistente")
        {
            return Path.Combine(_pasta, "nao-existe");
        }
        Assert.Equal("sem_permissao", nome);
        string caminho = Path.Combine(_pasta, "sem-permissao");
        File.WriteAllText(caminho, "#!/bin/sh\n");
        Apoio.MudarModo(caminho, "0644");
        return caminho;
    }

    private void Definir(string nome, string? valor)
    {
        _ambienteOriginal.TryAdd(nome, Environment.GetEnvironmentVariable(nome));
        Apoio.Definir(nome, valor);
    }

    /// <summary>Sets ACBR_PONTE, PATH and the package as the row says; returns the Executavel
    /// option and the package's folder.</summary>
    private (string? Executavel, string Pacote) PrepararPonte()
    {
        JsonElement ponte = _caso.TryGetProperty("ponte", out JsonElement dada) ? dada : _padroes.GetProperty("ponte");
        string? executavel = null;
        if (ponte.ValueKind == JsonValueKind.String)
        {
            // A bridge given by path: the rest of the search is never reached.
            executavel = Fonte(ponte.GetString()!);
            Definir("ACBR_PONTE", null);
        }
        else
        {
            string caminhos = Path.Combine(_pasta, "path");
            Directory.CreateDirectory(caminhos);
            if (ponte.TryGetProperty("path", out JsonElement noPath))
            {
                string destino = Path.Combine(caminhos, "acbr-ponte");
                File.Copy(Fonte(noPath.GetString()!), destino);
                Apoio.MudarModo(destino, "0755");
            }
            Definir("PATH", caminhos);
            Definir("ACBR_PONTE", !ponte.TryGetProperty("ACBR_PONTE", out JsonElement doAmbiente) ? null
                : doAmbiente.GetString() is { Length: > 0 } fonte ? Fonte(fonte) : "");
            if (ponte.TryGetProperty("executavel", out JsonElement opcao))
            {
                executavel = Fonte(opcao.GetString()!);
            }
        }
        string pacote = Path.Combine(_pasta, "pacote");
        Directory.CreateDirectory(pacote);
        string chave = Localizacao.ChaveDaPlataforma(null) ?? "linux-x64";
        if (ponte.ValueKind == JsonValueKind.Object && ponte.TryGetProperty("pacote", out JsonElement doPacote))
        {
            foreach (JsonProperty qual in doPacote.EnumerateObject())
            {
                string chaveDaFonte = qual.Name == "nativa" ? chave : chave.Split('-')[0] + "-x86";
                string resumo = Apoio.PorNoPacote(pacote, chaveDaFonte, Fonte(qual.Value.GetString()!));
                _nomes[qual.Name == "nativa" ? "nome_da_copia" : "nome_da_copia_x86"] =
                    $"acbr-ponte-{Ponte.VersaoDoCliente}-{chaveDaFonte}-{resumo[..16]}";
            }
        }
        return (executavel, pacote);
    }

    internal void Executar()
    {
        if (_caso.TryGetProperty("exige", out JsonElement exige))
        {
            foreach (JsonElement exigencia in exige.EnumerateArray())
            {
                string? motivo = Falta(exigencia.GetString()!);
                Skip.If(motivo is not null, motivo);
            }
        }
        string acbrDir = AcbrDir();
        _nomes["ponte"] = Apoio.PonteConstruida;
        _nomes["acbr_dir"] = acbrDir;
        _nomes["variantes"] = Apoio.Variantes;
        _nomes["arquivo_da_lib"] = Apoio.ArquivoDaBiblioteca();
        _nomes["pasta"] = _pasta;
        _nomes["dados"] = _dados;
        _nomes["pasta_da_ponte"] = Path.Combine(_dados, "acbr-ponte");
        (string? executavel, string pacote) = PrepararPonte();
        Definir("XDG_DATA_HOME", _dados);
        if (_caso.TryGetProperty("ambiente", out JsonElement ambiente))
        {
            foreach (JsonProperty variavel in ambiente.EnumerateObject())
            {
                Definir(variavel.Name, Texto(variavel.Value));
            }
        }
        var opcoes = new Dictionary<string, JsonElement>();
        foreach (JsonProperty padrao in _padroes.EnumerateObject())
        {
            opcoes[padrao.Name] = padrao.Value;
        }
        if (_caso.TryGetProperty("opcoes", out JsonElement dadas))
        {
            foreach (JsonProperty opcao in dadas.EnumerateObject())
            {
                opcoes[opcao.Name] = opcao.Value;
            }
        }
        var ponte = new Ponte(new OpcoesDaPonte
        {
            Executavel = executavel,
            AcbrDir = opcoes.TryGetValue("acbr_dir", out JsonElement dir) ? Texto(dir) : acbrDir,
            TempoLimite = TimeSpan.FromMilliseconds(opcoes["tempo_limite_ms"].GetDouble()),
            ComandosPorPonte = opcoes["comandos_por_ponte"].GetInt32(),
            Arquitetura = opcoes.TryGetValue("arquitetura", out JsonElement arquitetura)
                ? (Texto(arquitetura) == "x86" ? Arquitetura.X86 : Arquitetura.X64) : null,
            PastaDeConfiguracao = opcoes.TryGetValue("pasta_de_configuracao", out JsonElement pastaDeConfiguracao)
                ? Texto(pastaDeConfiguracao) : null,
            PastaDoPacote = pacote,
        });
        try
        {
            foreach (JsonElement chamada in _caso.GetProperty("chamadas").EnumerateArray())
            {
                int vezes = chamada.TryGetProperty("repetir", out JsonElement repetir) ? repetir.GetInt32() : 1;
                for (int i = 0; i < vezes; i++)
                {
                    Chamar(ponte, chamada);
                }
            }
        }
        finally
        {
            ponte.Dispose();
        }
        if (_caso.TryGetProperty("pids_por_ponte", out JsonElement pidsPorPonte))
        {
            var seguidas = new List<int>();
            for (int i = 0; i < _pids.Count; i++)
            {
                if (i > 0 && _pids[i] == _pids[i - 1])
                {
                    seguidas[^1]++;
                }
                else
                {
                    seguidas.Add(1);
                }
            }
            Assert.Equal(pidsPorPonte.EnumerateArray().Select(e => e.GetInt32()), seguidas);
        }
        Apoio.SemFilhos();
    }

    /// <summary>A text of the row with its placeholders filled in (null stays null).</summary>
    private string? Texto(JsonElement valor) =>
        valor.ValueKind == JsonValueKind.Null ? null
            : Marcador.Replace(valor.GetString()!, achado => _nomes.TryGetValue(achado.Groups[1].Value, out string? nome) ? nome : achado.Value);

    private void Chamar(Ponte ponte, JsonElement chamada)
    {
        if (chamada.TryGetProperty("ambiente", out JsonElement ambiente))
        {
            foreach (JsonProperty variavel in ambiente.EnumerateObject())
            {
                Definir(variavel.Name, Texto(variavel.Value));
            }
        }
        if (chamada.TryGetProperty("antes", out JsonElement antes))
        {
            foreach (JsonElement acao in antes.EnumerateArray())
            {
                Agir(acao, ponte);
            }
        }
        JsonElement espera = chamada.TryGetProperty("espera", out JsonElement dada) ? dada : default;
        string metodo = chamada.GetProperty("metodo").GetString()!;
        int? antesDaChamada = ponte.Pid;
        if (metodo == "simultaneas")
        {
            Simultaneas(ponte, chamada.GetProperty("quantas").GetInt32());
            return;
        }
        if (metodo == "fechar")
        {
            ponte.Dispose();
            ConferirPid(espera, antesDaChamada, ponte.Pid);
            return;
        }
        try
        {
            object valor = metodo == "versao" ? ponte.Versao() : ponte.Enviar(Texto(chamada.GetProperty("comando"))!);
            if (Membro(espera, "versao") is JsonElement versao)
            {
                Assert.Equal(new Versao(Texto(versao.GetProperty("nome")), Texto(versao.GetProperty("versao"))), valor);
            }
            else if (Membro(espera, "resposta") is JsonElement resposta)
            {
                ConferirResposta(resposta, Assert.IsType<Resposta>(valor));
            }
            else
            {
                Assert.Fail($"{metodo} returned {valor}, expected {espera}");
            }
        }
        catch (AcbrPonteException erro)
        {
            Assert.True(Membro(espera, "erro") is not null, "unexpected " + erro);
            ConferirErro(erro, espera.GetProperty("erro"));
            if (chamada.TryGetProperty("matar_pid_do_stderr", out JsonElement matar) && matar.GetBoolean())
            {
                int neta = int.Parse(((PonteEncerradaException)erro).Stderr.Trim(), CultureInfo.InvariantCulture);
                Apoio.MatarComSigkill(neta);
            }
        }
        _pids.Add(ponte.Pid);
        ConferirPid(espera, antesDaChamada, ponte.Pid);
        if (Membro(espera, "existe") is JsonElement existe)
        {
            foreach (JsonElement caminho in existe.EnumerateArray())
            {
                Assert.True(Existe(Texto(caminho)!), Texto(caminho) + " does not exist");
            }
        }
        if (Membro(espera, "nao_existe") is JsonElement naoExiste)
        {
            foreach (JsonElement caminho in naoExiste.EnumerateArray())
            {
                Assert.False(Existe(Texto(caminho)!), Texto(caminho) + " exists");
            }
        }
        if (Membro(espera, "conta_linhas") is JsonElement conta)
        {
            string[] linhas = File.ReadAllText(Texto(conta.GetProperty("arquivo"))!).Split('\n');
            Assert.Equal(conta.GetProperty("vezes").GetInt32(), linhas.Count(l => l == Texto(conta.GetProperty("linha"))));
        }
    }

    private static JsonElement? Membro(JsonElement objeto, string nome) =>
        objeto.ValueKind == JsonValueKind.Object && objeto.TryGetProperty(nome, out JsonElement valor) ? valor : null;

    private static bool Existe(string caminho) => File.Exists(caminho) || Directory.Exists(caminho) || new FileInfo(caminho).LinkTarget is not null;

    private void ConferirResposta(JsonElement esperada, Resposta resposta)
    {
        using JsonDocument lida = JsonDocument.Parse(resposta.Linha);
        string Canonica(JsonElement e) => JsonSerializer.Serialize(e);
        var esperadaPreenchida = JsonSerializer.SerializeToElement(
            esperada.EnumerateObject().ToDictionary(p => p.Name, p => p.Value.ValueKind == JsonValueKind.String ? (object?)Texto(p.Value) : p.Value));
        Assert.True(JsonElement.DeepEquals(esperadaPreenchida, lida.RootElement), $"{Canonica(esperadaPreenchida)} != {resposta.Linha}");
        Assert.Equal(esperada.GetProperty("ok").GetBoolean(), resposta.Ok);
        Assert.Equal(Membro(esperada, "nome")?.GetString(), resposta.Nome);
        Assert.Equal(Membro(esperada, "versao")?.GetString(), resposta.Versao);
        Assert.Equal(Membro(esperada, "erro")?.GetString(), resposta.Erro);
    }

    private static void ConferirPid(JsonElement espera, int? antes, int? depois)
    {
        switch (Membro(espera, "pid")?.GetString())
        {
            case "nenhum":
                Assert.Null(depois);
                break;
            case "mesmo":
                Assert.NotNull(depois);
                Assert.Equal(antes, depois);
                break;
            case "novo":
                Assert.NotNull(depois);
                Assert.NotEqual(antes, depois);
                break;
        }
    }

    private void ConferirErro(AcbrPonteException erro, JsonElement espera)
    {
        Assert.Equal(espera.GetProperty("classe").GetString() + "Exception", erro.GetType().Name);
        string mensagem = erro.Message;
        string stderr = erro.GetType().GetProperty("Stderr")?.GetValue(erro) as string ?? "";
        foreach (JsonProperty campo in espera.EnumerateObject())
        {
            JsonElement valor = campo.Value;
            switch (campo.Name)
            {
                case "classe":
                    break;
                case "tempo_limite_ms":
                    Assert.Equal(valor.GetInt64(), (long)Math.Round(((TempoEsgotadoException)erro).TempoLimite.TotalMilliseconds));
                    break;
                case "mensagem":
                    Assert.Equal(Texto(valor), mensagem);
                    break;
                case "mensagem_comeca":
                    Assert.StartsWith(Texto(valor)!, mensagem, StringComparison.Ordinal);
                    break;
                case "stderr_contem":
                    foreach (JsonElement trecho in valor.EnumerateArray())
                    {
                        Assert.Contains(Texto(trecho)!, stderr, StringComparison.Ordinal);
                    }
                    break;
                case "stderr_nao_contem":
                    foreach (JsonElement trecho in valor.EnumerateArray())
                    {
                        Assert.DoesNotContain(Texto(trecho)!, stderr, StringComparison.Ordinal);
                    }
                    break;
                case "stderr_termina":
                    Assert.EndsWith(Texto(valor)!, stderr, StringComparison.Ordinal);
                    break;
                case "stderr_bytes":
                    int bytes = Encoding.UTF8.GetByteCount(stderr);
                    Assert.InRange(bytes, valor[0].GetInt32(), valor[1].GetInt32());
                    break;
                default:
                    // erro, status, sinal, linha, executavel, caminho, motivo, stderr: the property.
                    string propriedade = char.ToUpperInvariant(campo.Name[0]) + campo.Name[1..];
                    PropertyInfo? info = erro.GetType().GetProperty(propriedade);
                    Assert.True(info is not null, $"{erro.GetType().Name} has no {propriedade}");
                    object? atual = info.GetValue(erro);
                    object? esperado = valor.ValueKind switch
                    {
                        JsonValueKind.Null => null,
                        JsonValueKind.Number => (object)valor.GetInt64(),
                        _ => Texto(valor),
                    };
                    Assert.Equal(esperado, atual is int inteiro ? (long)inteiro : atual);
                    break;
            }
        }
    }

    private void Agir(JsonElement acao, Ponte ponte)
    {
        string tipo = acao.GetProperty("acao").GetString()!;
        string caminho = acao.TryGetProperty("caminho", out JsonElement dado) ? Texto(dado)! : "";
        switch (tipo)
        {
            case "criar_pasta":
                Directory.CreateDirectory(caminho);
                Apoio.MudarModo(caminho, acao.GetProperty("modo").GetString()!);
                break;
            case "mudar_modo":
                Apoio.MudarModo(caminho, acao.GetProperty("modo").GetString()!);
                break;
            case "mudar_dono":
                Apoio.MudarDono(caminho, OutroUsuario);
                break;
            case "escrever":
                if (Existe(caminho))
                {
                    File.Delete(caminho);
                }
                File.WriteAllText(caminho, Texto(acao.GetProperty("conteudo")));
                Apoio.MudarModo(caminho, acao.GetProperty("modo").GetString()!);
                break;
            case "link_simbolico":
                File.CreateSymbolicLink(caminho, Texto(acao.GetProperty("alvo"))!);
                break;
            case "remover":
                File.Delete(caminho);
                break;
            case "matar_ponte":
                int pid = ponte.Pid ?? throw new InvalidOperationException("no bridge to kill");
                Apoio.MatarComSigkill(pid);
                Assert.True(Apoio.Ate(() => Apoio.Terminado(pid)));
                break;
            default:
                throw new InvalidOperationException("unknown action " + tipo);
        }
    }

    /// <summary>That many calls at once, from the thread pool (each waiting for all the others
    /// to be ready), each checked against its own answer.</summary>
    private static void Simultaneas(Ponte ponte, int quantas)
    {
        ThreadPool.GetMinThreads(out int trabalhadoras, out int entradaESaida);
        ThreadPool.SetMinThreads(quantas + Environment.ProcessorCount, entradaESaida);
        try
        {
            using var largada = new Barrier(quantas);
            var chamadas = Enumerable.Range(0, quantas).Select(i => Task.Run(() =>
            {
                largada.SignalAndWait();
                return i % 2 == 0 ? (object)ponte.Versao() : ponte.Enviar($"{{\"cmd\":\"c{i}\"}}");
            })).ToArray();
            Task.WaitAll(chamadas);
            for (int i = 0; i < quantas; i++)
            {
                ConferirSimultanea(i, chamadas[i].Result);
            }
        }
        finally
        {
            ThreadPool.SetMinThreads(trabalhadoras, entradaESaida);
        }
    }

    internal static void ConferirSimultanea(int i, object recebida)
    {
        if (i % 2 == 0)
        {
            Assert.Equal(new Versao(Apoio.Esperada, "0.0.0-falsa"), recebida);
        }
        else
        {
            int coluna = 8 + $"c{i}".Length + 1;
            Assert.Equal($"{{\"ok\":false,\"erro\":\"comando inválido: unknown variant `c{i}`, expected `versao` at line 1 column {coluna}\"}}",
                ((Resposta)recebida).Linha);
        }
    }
}
