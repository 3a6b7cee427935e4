using System;
using System.Collections.Generic;
using System.ComponentModel;
using System.Diagnostics;
using System.IO;
using System.Runtime.InteropServices;
using System.Threading;
using System.Threading.Tasks;

namespace AcbrPonte;

/// <summary>One running bridge: its three pipes, the answer lines and its end.
/// <para>The calling thread writes the command and waits for the answer line. On Linux a
/// synchronous call reads the answer itself, waiting with poll(2) up to its limit: a hand-over
/// from another thread costs a wake-up per answer, more than the rest of the client. Otherwise
/// (Windows, .NET Standard, and once an asynchronous call has come) a thread of the bridge's own
/// reads its output with blocking reads and hands each line straight to the waiting call (the
/// framework's asynchronous pipe reads cost a hop through the thread pool per answer). Standard
/// error is drained all the time, asynchronously, into the <see cref="Cauda"/>. A waiting call
/// also looks every so often whether the bridge has ended, since a process the library started
/// may hold the output open after the bridge is gone.</para>
/// <para>Exchanges are not thread-safe: the <see cref="Ponte"/> serves them one at a time.</para></summary>
internal sealed class Processo
{
    // Without a line or the end of the output, how often a waiting call asks whether the bridge has ended.
    private const int IntervaloDeVigia = 100;
    // How long an ended bridge's output and standard error may take to arrive, and its exit.
    private const int EsperaPeloFim = 1000;
    // Commands up to this size go into the pipe's free space at once; longer ones are written
    // from the thread pool, so that a bridge that stopped reading cannot hold the call past its limit.
    private const int EscritaDireta = 4096;

    private readonly Process _processo;
    private readonly Stream _entrada;
    private readonly Stream _saida;
    private readonly Stream _erro;
    private readonly Cauda _cauda = new();
    private readonly Task _drenagem;

    private readonly object _trava = new();
    private readonly Queue<byte[]> _linhas = new(); // lines read and not yet taken
    private readonly byte[] _bloco = new byte[16384];
    private readonly MemoryStream _parcial = new();  // the start of a line still to come
    private readonly SafeHandle? _tubo;              // the output's pipe, where the calling thread may read it
    private Thread? _leitor;                         // once started, it alone reads the output
    private bool _fimDaSaida;
    private TaskCompletionSource<bool>? _aviso;     // the waiting call, when it waits asynchronously
    private int _concluido;

    internal Processo(string executavel, string? acbrDir)
    {
        var inicio = new ProcessStartInfo(executavel)
        {
            UseShellExecute = false,
            RedirectStandardInput = true,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            CreateNoWindow = true,
        };
        if (acbrDir is not null)
        {
            inicio.Environment["ACBR_DIR"] = acbrDir;
        }
        _processo = new Process { StartInfo = inicio };
        try
        {
            _processo.Start();
        }
        catch (Win32Exception erro)
        {
            _processo.Dispose();
            throw new PonteNaoIniciadaException(
                Mensagens.NaoIniciada(executavel, new Win32Exception(erro.NativeErrorCode).Message), executavel, erro);
        }
        Pid = _processo.Id;
        _entrada = _processo.StandardInput.BaseStream;
        _saida = _processo.StandardOutput.BaseStream;
        _erro = _processo.StandardError.BaseStream;
        _drenagem = DrenarErro();
        _tubo = TuboLegivel(_saida);
        if (_tubo is null)
        {
            IniciarLeitor();
        }
    }

    /// <summary>The output's pipe, where the calling thread can wait on it with a limit.</summary>
    private static SafeHandle? TuboLegivel(Stream saida)
    {
#if NET
        if (OperatingSystem.IsLinux() && saida is System.IO.Pipes.PipeStream tubo)
        {
            return tubo.SafePipeHandle;
        }
#endif
        return null;
    }

    private void IniciarLeitor()
    {
        if (_leitor is null)
        {
            // A daemon: a Ponte never closed must not keep the host alive.
            _leitor = new Thread(LerSaida, 128 * 1024) { IsBackground = true, Name = "acbr-ponte " + Pid };
            _leitor.Start();
        }
    }

    /// <summary>Read by the calling thread: no reader thread has started.</summary>
    private bool Direta => _leitor is null;

    internal int Pid { get; }

    /// <summary>Commands written to this bridge.</summary>
    internal int Comandos { get; private set; }

    /// <summary>Alive, and nothing unasked-for in its output (a line, or its end): ready for a
    /// command.</summary>
    internal bool Ociosa()
    {
        lock (_trava)
        {
            if (_linhas.Count > 0 || _fimDaSaida || Volatile.Read(ref _concluido) != 0)
            {
                return false;
            }
        }
        if (Direta && Libc.Legivel(_tubo!, 0))
        {
            return false; // a line nobody asked for, or the end
        }
        return !_processo.HasExited;
    }

    /// <summary>Writes one command line and returns its answer line (without its line feed).
    /// Past <paramref name="prazo"/> (a <see cref="Stopwatch"/> timestamp) the process is killed
    /// (<see cref="TempoEsgotadoException"/>); if it ends first, <see cref="PonteEncerradaException"/>.
    /// Either way it is reaped before the error is raised.</summary>
    internal byte[] Trocar(byte[] linha, long prazo, TimeSpan tempoLimite)
    {
        Escrever(linha);
        while (true)
        {
            int espera;
            lock (_trava)
            {
                if (_linhas.Count > 0)
                {
                    return _linhas.Dequeue();
                }
                if (_fimDaSaida)
                {
                    break;
                }
                espera = Espera(prazo);
                if (espera == 0)
                {
                    break;
                }
                if (!Direta && (Monitor.Wait(_trava, espera) || _linhas.Count > 0 || _fimDaSaida))
                {
                    continue;
                }
            }
            if (Direta && LerSeHouver(espera))
            {
                continue;
            }
            if (_processo.HasExited)
            {
                break;
            }
        }
        return Falhou(prazo, tempoLimite);
    }

    /// <summary>Reads what the output has, if it has something within <paramref name="espera"/>
    /// ms: false when nothing came.</summary>
    private bool LerSeHouver(int espera)
    {
        if (!Libc.Legivel(_tubo!, espera))
        {
            return false;
        }
        int lidos;
        try
        {
            lidos = _saida.Read(_bloco, 0, _bloco.Length);
        }
        catch (IOException)
        {
            lidos = 0;
        }
        catch (ObjectDisposedException)
        {
            lidos = 0;
        }
        if (lidos > 0)
        {
            List<byte[]>? novas = Repartir(lidos);
            if (novas is not null)
            {
                lock (_trava)
                {
                    novas.ForEach(_linhas.Enqueue);
                }
            }
        }
        else
        {
            lock (_trava)
            {
                _fimDaSaida = true;
            }
            _saida.Dispose();
        }
        return true;
    }

    /// <summary><see cref="Trocar"/>, waiting without a thread; a cancelled wait kills the
    /// bridge, since its answer would come later and be taken for the next call's.</summary>
    internal async Task<byte[]> TrocarAsync(byte[] linha, long prazo, TimeSpan tempoLimite, CancellationToken cancelamento)
    {
        lock (_trava)
        {
            if (!_fimDaSaida)
            {
                IniciarLeitor(); // waiting without a thread needs one that reads
            }
        }
        Escrever(linha);
        while (true)
        {
            Task aviso;
            int espera;
            lock (_trava)
            {
                if (_linhas.Count > 0)
                {
                    return _linhas.Dequeue();
                }
                if (_fimDaSaida)
                {
                    break;
                }
                espera = Espera(prazo);
                if (espera == 0)
                {
                    break;
                }
                var novo = new TaskCompletionSource<bool>(TaskCreationOptions.RunContinuationsAsynchronously);
                _aviso = novo;
                aviso = novo.Task;
            }
            if (!await Avisado(aviso, espera, cancelamento).ConfigureAwait(false) && _processo.HasExited)
            {
                break;
            }
        }
        return Falhou(prazo, tempoLimite);
    }

    private static async Task<bool> Avisado(Task aviso, int milissegundos, CancellationToken cancelamento)
    {
#if NET
        try
        {
            await aviso.WaitAsync(TimeSpan.FromMilliseconds(milissegundos), cancelamento).ConfigureAwait(false);
            return true;
        }
        catch (TimeoutException)
        {
            return false;
        }
#else
        using var fim = CancellationTokenSource.CreateLinkedTokenSource(cancelamento);
        Task primeira = await Task.WhenAny(aviso, Task.Delay(milissegundos, fim.Token)).ConfigureAwait(false);
        fim.Cancel();
        cancelamento.ThrowIfCancellationRequested();
        return primeira == aviso;
#endif
    }

    /// <summary>Milliseconds to wait now: up to the deadline, at most the watch interval; 0 when
    /// the deadline has passed.</summary>
    private static int Espera(long prazo)
    {
        if (prazo == long.MaxValue)
        {
            return IntervaloDeVigia;
        }
        long falta = prazo - Stopwatch.GetTimestamp();
        if (falta <= 0)
        {
            return 0;
        }
        return (int)Math.Min(IntervaloDeVigia, falta * 1000 / Stopwatch.Frequency + 1);
    }

    private void Escrever(byte[] linha)
    {
        Comandos++;
        if (linha.Length <= EscritaDireta)
        {
            EscreverAgora(linha);
        }
        else
        {
            _ = Task.Run(() => EscreverAgora(linha));
        }
    }

    private void EscreverAgora(byte[] linha)
    {
        try
        {
            _entrada.Write(linha, 0, linha.Length);
            _entrada.Flush();
        }
        catch (IOException)
        {
            // The bridge closed its input or ended: its end is told by its output.
        }
        catch (ObjectDisposedException)
        {
        }
    }

    /// <summary>No line came: the limit passed, or the bridge ended.</summary>
    private byte[] Falhou(long prazo, TimeSpan tempoLimite)
    {
        bool terminou;
        lock (_trava)
        {
            terminou = _fimDaSaida;
        }
        if (!terminou && !_processo.HasExited && Espera(prazo) == 0)
        {
            Matar(esperarErro: true);
            throw new TempoEsgotadoException(tempoLimite, _cauda.Texto());
        }
        // Ended: an answer it wrote just before is still an answer.
        long ate = Stopwatch.GetTimestamp() + EsperaPeloFim * Stopwatch.Frequency / 1000;
        while (true)
        {
            int espera;
            lock (_trava)
            {
                if (_linhas.Count > 0)
                {
                    return _linhas.Dequeue();
                }
                espera = Espera(ate);
                if (_fimDaSaida || espera == 0)
                {
                    break;
                }
                if (!Direta)
                {
                    Monitor.Wait(_trava, espera);
                    continue;
                }
            }
            LerSeHouver(espera);
        }
        if (!_processo.WaitForExit(EsperaPeloFim))
        {
            // Its output ended but it lives on: it will never answer again.
            Abater();
        }
        _processo.WaitForExit();
        long codigo = _processo.ExitCode;
        Concluir(esperarErro: true);
        if (Localizacao.Windows)
        {
            throw new PonteEncerradaException((uint)codigo, null, _cauda.Texto());
        }
        if (codigo > 128 && codigo <= 128 + Sinais.Maior)
        {
            throw new PonteEncerradaException(null, (int)codigo - 128, _cauda.Texto());
        }
        throw new PonteEncerradaException(codigo, null, _cauda.Texto());
    }

    /// <summary>Closes its input, gives it <paramref name="espera"/> ms to exit, then kills it.</summary>
    internal void Encerrar(int espera)
    {
        if (Volatile.Read(ref _concluido) != 0)
        {
            return;
        }
        try
        {
            _entrada.Dispose();
        }
        catch (IOException)
        {
        }
        if (!_processo.WaitForExit(espera))
        {
            Abater();
        }
        _processo.WaitForExit();
        Concluir(esperarErro: false);
    }

    /// <summary>Kills it (with whatever it started, where the framework can), and reaps it.
    /// <paramref name="esperarErro"/>: its standard error is wanted for an error.</summary>
    internal void Matar(bool esperarErro = false)
    {
        if (Volatile.Read(ref _concluido) != 0)
        {
            return;
        }
        Abater();
        _processo.WaitForExit();
        Concluir(esperarErro);
    }

    private void Abater()
    {
        try
        {
#if NET
            _processo.Kill(entireProcessTree: true);
#else
            _processo.Kill();
#endif
        }
        catch (InvalidOperationException)
        {
            // It ended already.
        }
        catch (Win32Exception)
        {
            // It is ending.
        }
    }

    /// <summary>Once it is reaped: what it wrote to standard error is kept, the pipes closed.</summary>
    private void Concluir(bool esperarErro)
    {
        if (Interlocked.Exchange(ref _concluido, 1) != 0)
        {
            return;
        }
        if (esperarErro)
        {
            // The ended process's standard error is in the pipe; a process it left behind may
            // hold the pipe open, so this waits a moment and no more.
            _drenagem.Wait(EsperaPeloFim);
        }
        foreach (Stream fluxo in new[] { _entrada, _erro })
        {
            try
            {
                fluxo.Dispose();
            }
            catch (IOException)
            {
            }
        }
        _processo.Dispose();
        if (Direta)
        {
            _saida.Dispose();
        }
        // Otherwise the output is the reading thread's: it closes it when the pipe ends.
    }

    /// <summary>The whole lines of the <paramref name="lidos"/> bytes just read into the block,
    /// or null; the rest is kept for the next read.</summary>
    private List<byte[]>? Repartir(int lidos)
    {
        List<byte[]>? novas = null;
        int inicio = 0, fim;
        while ((fim = Array.IndexOf(_bloco, (byte)'\n', inicio, lidos - inicio)) >= 0)
        {
            byte[] linha;
            if (_parcial.Length == 0)
            {
                linha = new byte[fim - inicio];
                Buffer.BlockCopy(_bloco, inicio, linha, 0, linha.Length);
            }
            else
            {
                _parcial.Write(_bloco, inicio, fim - inicio);
                linha = _parcial.ToArray();
                _parcial.SetLength(0);
            }
            (novas ??= new List<byte[]>()).Add(linha);
            inicio = fim + 1;
        }
        _parcial.Write(_bloco, inicio, lidos - inicio);
        return novas;
    }

    private void LerSaida()
    {
        try
        {
            int lidos;
            while ((lidos = _saida.Read(_bloco, 0, _bloco.Length)) > 0)
            {
                List<byte[]>? novas = Repartir(lidos);
                if (novas is not null)
                {
                    // Every line of one read at once: a line nobody asked for, written with the
                    // answer, is there before the call that took the answer returns.
                    Avisar(novas);
                }
            }
        }
        catch (IOException)
        {
        }
        catch (ObjectDisposedException)
        {
        }
        finally
        {
            _saida.Dispose();
            Avisar(null);
        }
    }

    private void Avisar(List<byte[]>? novas)
    {
        TaskCompletionSource<bool>? aviso;
        lock (_trava)
        {
            if (novas is null)
            {
                _fimDaSaida = true;
            }
            else
            {
                foreach (byte[] linha in novas)
                {
                    _linhas.Enqueue(linha);
                }
            }
            Monitor.PulseAll(_trava);
            aviso = _aviso;
            _aviso = null;
        }
        aviso?.TrySetResult(true);
    }

    private async Task DrenarErro()
    {
        var bloco = new byte[16384];
        try
        {
            int lidos;
            while ((lidos = await _erro.ReadAsync(bloco, 0, bloco.Length).ConfigureAwait(false)) > 0)
            {
                _cauda.Acrescentar(bloco, lidos);
            }
        }
        catch (IOException)
        {
        }
        catch (ObjectDisposedException)
        {
        }
        catch (OperationCanceledException)
        {
        }
    }
}
