using System;
using System.Diagnostics;
using System.Reflection;
using System.Threading;
using System.Threading.Tasks;

namespace AcbrPonte;

/// <summary>A client of the acbr-ponte bridge, the companion process through which the host
/// reaches ACBrLib NFe.</summary>
/// <remarks>
/// <para>Making a Ponte starts nothing. The first call starts a bridge with the host's environment
/// as it is then (plus <c>ACBR_DIR</c> when <see cref="OpcoesDaPonte.AcbrDir"/> is given), and so
/// does every fresh bridge later: after <see cref="TempoEsgotadoException"/>,
/// <see cref="PonteEncerradaException"/> or <see cref="RespostaInvalidaException"/>, when a bridge
/// wrote a line nobody asked for or ended while idle, and every
/// <see cref="OpcoesDaPonte.ComandosPorPonte"/> commands.</para>
/// <para>Calls from any number of threads and tasks are served one at a time, each answer to its
/// own call. A Ponte never disposed does not keep the host alive, and its bridge exits when the
/// host's process ends (its input is closed with it); nothing needs a finalizer.</para>
/// </remarks>
public sealed class Ponte : IDisposable
#if NET
    , IAsyncDisposable
#endif
{
    /// <summary>The version of this client, in the name of the bridge's copy.</summary>
    internal static readonly string VersaoDoCliente = LerVersaoDoCliente();

    // Given this long to exit after its input is closed; then it is killed.
    private const int EsperaAoFechar = 2000;

    private readonly OpcoesDaPonte _opcoes;
    private readonly SemaphoreSlim _turno = new(1, 1);
    private readonly object _estado = new();
    private int _pendentes;                          // calls made and not yet finished
    private bool _fechada;
    private TaskCompletionSource<bool>? _semPendentes; // when closing waits for them
    private volatile Processo? _processo;
    private CopiaDaPonte? _copia;

    /// <summary>A Ponte with the default options: the bridge looked for, a 30 s limit, a fresh
    /// bridge every 1000 commands.</summary>
    public Ponte()
        : this(new OpcoesDaPonte())
    {
    }

    /// <summary>A Ponte with <paramref name="opcoes"/>, checked now (a wrong value is an
    /// <see cref="ArgumentException"/>); nothing else happens until the first call.</summary>
    public Ponte(OpcoesDaPonte opcoes)
    {
        if (opcoes is null)
        {
            throw new ArgumentNullException(nameof(opcoes));
        }
        _opcoes = opcoes.Conferidas();
    }

    /// <summary>The process id of the running bridge, or null when none is running.</summary>
    public int? Pid => _processo?.Pid;

    /// <summary>The library's name and version.</summary>
    /// <exception cref="ErroDaPonteException">The library failed: the bridge's text.</exception>
    /// <exception cref="AcbrPonteException">The bridge hung, crashed, answered out of protocol,
    /// could not be started, or the Ponte was disposed.</exception>
    public Versao Versao() => ParaVersao(Trocar(Comando.LinhaDaVersao));

    /// <summary><see cref="Versao()"/>, asynchronously. A cancelled call that was waiting for its
    /// answer kills the bridge (the answer would come later, to the next call), and the next call
    /// starts a fresh one; one cancelled while waiting for its turn touches nothing.</summary>
    public async Task<Versao> VersaoAsync(CancellationToken cancelamento = default) =>
        ParaVersao(await TrocarAsync(Comando.LinhaDaVersao, cancelamento).ConfigureAwait(false));

    /// <summary>Sends one command, a line of text as it is (without its line feed), and returns
    /// the answer, failures included.</summary>
    /// <exception cref="ComandoRecusadoException">The text is blank, holds a line feed or a lone
    /// surrogate: refused before anything is written.</exception>
    /// <exception cref="AcbrPonteException">The bridge hung, crashed, answered out of protocol,
    /// could not be started, or the Ponte was disposed.</exception>
    public Resposta Enviar(string linha) => Trocar(LinhaDe(linha));

    /// <summary><see cref="Enviar"/>, asynchronously; cancelled as
    /// <see cref="VersaoAsync"/> is.</summary>
    public Task<Resposta> EnviarAsync(string linha, CancellationToken cancelamento = default) =>
        TrocarAsync(LinhaDe(linha), cancelamento);

    /// <summary>Lets the calls already made finish, closes the bridge's input, gives it 2 s to
    /// exit, then kills it; the process is reaped. Later calls raise
    /// <see cref="PonteFechadaException"/>. Disposing twice is harmless.</summary>
    public void Dispose()
    {
        Fechar()?.GetAwaiter().GetResult();
        _turno.Wait();
        try
        {
            Processo? processo = _processo;
            _processo = null;
            processo?.Encerrar(EsperaAoFechar);
        }
        finally
        {
            _turno.Release();
        }
    }

    /// <summary><see cref="Dispose"/>, without blocking the caller's thread.</summary>
#if NET
    public async ValueTask DisposeAsync()
#else
    public async Task DisposeAsync()
#endif
    {
        Task? pendentes = Fechar();
        if (pendentes is not null)
        {
            await pendentes.ConfigureAwait(false);
        }
        await _turno.WaitAsync().ConfigureAwait(false);
        try
        {
            Processo? processo = _processo;
            _processo = null;
            if (processo is not null)
            {
                await Task.Run(() => processo.Encerrar(EsperaAoFechar)).ConfigureAwait(false);
            }
        }
        finally
        {
            _turno.Release();
        }
    }

    private static byte[] LinhaDe(string linha)
    {
        if (linha is null)
        {
            throw new ArgumentNullException(nameof(linha));
        }
        return Comando.LinhaDoComando(linha);
    }

    private static Versao ParaVersao(Resposta resposta)
    {
        if (resposta.Ok)
        {
            return new Versao(resposta.Nome, resposta.Versao);
        }
        throw new ErroDaPonteException(resposta.Erro!);
    }

    private Resposta Trocar(byte[] linha)
    {
        Admitir();
        try
        {
            _turno.Wait();
            try
            {
                long prazo = Prazo();
                Processo processo = Pronta();
                try
                {
                    return Ler(processo.Trocar(linha, prazo, _opcoes.TempoLimite), linha);
                }
                catch
                {
                    Descartar(processo);
                    throw;
                }
            }
            finally
            {
                _turno.Release();
            }
        }
        finally
        {
            Dispensar();
        }
    }

    private async Task<Resposta> TrocarAsync(byte[] linha, CancellationToken cancelamento)
    {
        cancelamento.ThrowIfCancellationRequested();
        Admitir();
        try
        {
            await _turno.WaitAsync(cancelamento).ConfigureAwait(false);
            try
            {
                long prazo = Prazo();
                Processo processo = Pronta();
                try
                {
                    byte[] resposta = await processo.TrocarAsync(linha, prazo, _opcoes.TempoLimite, cancelamento)
                        .ConfigureAwait(false);
                    return Ler(resposta, linha);
                }
                catch
                {
                    Descartar(processo);
                    throw;
                }
            }
            finally
            {
                _turno.Release();
            }
        }
        finally
        {
            Dispensar();
        }
    }

    /// <summary>The answer, checked as the protocol says (and as <see cref="Versao()"/> needs it
    /// for the version query).</summary>
    private static Resposta Ler(byte[] linhaLida, byte[] comando)
    {
        Resposta resposta = Comando.LerResposta(linhaLida);
        if (ReferenceEquals(comando, Comando.LinhaDaVersao) && !resposta.VersaoValida)
        {
            throw new RespostaInvalidaException(resposta.Linha);
        }
        return resposta;
    }

    /// <summary>A call failed, or was interrupted with an answer still to come that would be
    /// taken for the next call's: this bridge is done.</summary>
    private void Descartar(Processo processo)
    {
        if (_processo == processo)
        {
            _processo = null;
        }
        processo.Matar();
    }

    private long Prazo()
    {
        TimeSpan limite = _opcoes.TempoLimite;
        if (limite == Timeout.InfiniteTimeSpan)
        {
            return long.MaxValue;
        }
        return Stopwatch.GetTimestamp() + (long)(limite.TotalSeconds * Stopwatch.Frequency);
    }

    private void Admitir()
    {
        lock (_estado)
        {
            if (_fechada)
            {
                throw new PonteFechadaException();
            }
            _pendentes++;
        }
    }

    private void Dispensar()
    {
        TaskCompletionSource<bool>? semPendentes = null;
        lock (_estado)
        {
            _pendentes--;
            if (_pendentes == 0)
            {
                semPendentes = _semPendentes;
            }
        }
        semPendentes?.TrySetResult(true);
    }

    /// <summary>No more calls; the calls already made, if any, to wait for.</summary>
    private Task? Fechar()
    {
        lock (_estado)
        {
            _fechada = true;
            if (_pendentes == 0)
            {
                return null;
            }
            _semPendentes ??= new TaskCompletionSource<bool>(TaskCreationOptions.RunContinuationsAsynchronously);
            return _semPendentes.Task;
        }
    }

    /// <summary>The bridge for the next command: the running one, or a fresh one.</summary>
    private Processo Pronta()
    {
        Processo? processo = _processo;
        if (processo is not null)
        {
            if (!processo.Ociosa())
            {
                _processo = null;
                processo.Matar();
            }
            else if (_opcoes.ComandosPorPonte > 0 && processo.Comandos >= _opcoes.ComandosPorPonte)
            {
                _processo = null;
                processo.Encerrar(EsperaAoFechar);
            }
            else
            {
                return processo;
            }
        }
        processo = new Processo(Executavel(), _opcoes.AcbrDir);
        _processo = processo;
        return processo;
    }

    /// <summary>The bridge to start now: the option, <c>ACBR_PONTE</c>, the package's (its
    /// checked copy), <c>PATH</c>.</summary>
    private string Executavel()
    {
        if (_opcoes.Executavel is not null)
        {
            return Localizacao.ComExe(_opcoes.Executavel);
        }
        string? doAmbiente = Environment.GetEnvironmentVariable("ACBR_PONTE");
        if (!string.IsNullOrEmpty(doAmbiente))
        {
            return Localizacao.ComExe(doAmbiente!);
        }
        string? chave = Localizacao.ChaveDaPlataforma(_opcoes.Arquitetura);
        PonteDoPacote? origem = chave is null ? null : Localizacao.PonteDoPacote(chave, _opcoes.PastaDoPacote);
        if (origem is not null)
        {
            string pasta = _opcoes.PastaDeConfiguracao ?? Localizacao.PastaPorUsuario();
            if (_copia is null || _copia.Origem != origem || _copia.Pasta != pasta)
            {
                _copia = new CopiaDaPonte(origem, pasta, VersaoDoCliente);
            }
            return _copia.Pronta();
        }
        return Localizacao.NoPath() ?? throw new PonteNaoIniciadaException(Mensagens.NaoEncontrada, null);
    }

    private static string LerVersaoDoCliente()
    {
        string versao = typeof(Ponte).Assembly.GetCustomAttribute<AssemblyInformationalVersionAttribute>()?.InformationalVersion ?? "0.0.0";
        int mais = versao.IndexOf('+');
        return mais < 0 ? versao : versao.Substring(0, mais);
    }
}
