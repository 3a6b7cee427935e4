using System;
using System.Globalization;
using System.Text;

namespace AcbrPonte;

/// <summary>Base class of every error this client raises about the bridge. Wrong arguments and
/// options are <see cref="ArgumentException"/>s instead.</summary>
public abstract class AcbrPonteException : Exception
{
    /// <summary>An error with its message (the same text in every acbr-ponte client).</summary>
    protected AcbrPonteException(string mensagem, Exception? causa = null)
        : base(mensagem, causa)
    {
    }
}

/// <summary><see cref="Ponte.Versao"/> was answered <c>{"ok":false,"erro":...}</c>: the library
/// failed. The bridge stays. The message is <see cref="Erro"/>.</summary>
public sealed class ErroDaPonteException : AcbrPonteException
{
    /// <summary>An error with the bridge's text.</summary>
    public ErroDaPonteException(string erro)
        : base(erro)
    {
        Erro = erro;
    }

    /// <summary>The bridge's <c>erro</c> text, exactly.</summary>
    public string Erro { get; }
}

/// <summary>No answer within the time limit: the bridge was killed, and the next call starts a
/// fresh one.</summary>
public sealed class TempoEsgotadoException : AcbrPonteException
{
    /// <summary>An error for a limit and a tail of standard error.</summary>
    public TempoEsgotadoException(TimeSpan tempoLimite, string stderr)
        : base(string.Format(CultureInfo.InvariantCulture, "a ponte não respondeu em {0} ms e foi encerrada",
            (long)Math.Round(tempoLimite.TotalMilliseconds)) + Mensagens.SufixoDoStderr(stderr))
    {
        TempoLimite = tempoLimite;
        Stderr = stderr;
    }

    /// <summary>The limit that passed.</summary>
    public TimeSpan TempoLimite { get; }

    /// <summary>The last 8 KiB of the bridge's standard error.</summary>
    public string Stderr { get; }
}

/// <summary>The bridge ended during the call, without answering (a crash: an unhandled Free
/// Pascal exception ends it with status 217, a null dereference with SIGSEGV). The call is not
/// retried, since the same command may crash again; the next call starts a fresh bridge.</summary>
public sealed class PonteEncerradaException : AcbrPonteException
{
    /// <summary>An error for an exit status or a signal (one of them null).</summary>
    public PonteEncerradaException(long? status, int? numeroDoSinal, string stderr)
        : base(Mensagem(status, numeroDoSinal) + Mensagens.SufixoDoStderr(stderr))
    {
        Status = numeroDoSinal is null ? status : null;
        NumeroDoSinal = numeroDoSinal;
        Sinal = numeroDoSinal is int numero ? Sinais.Nome(numero) : null;
        Stderr = stderr;
    }

    /// <summary>The exit status, or null when a signal ended it. On Windows, the exit code as
    /// the system gives it (unsigned: 3221225477 for an access violation).</summary>
    public long? Status { get; }

    /// <summary>The name of the signal that ended it (<c>"SIGSEGV"</c>, ...), or null: ended by
    /// itself, or by a signal without a name here (see <see cref="NumeroDoSinal"/>).</summary>
    /// <remarks>The runtime reports a process a signal ended as 128 + the signal's number, so an
    /// exit status from 129 to 192 reads as a signal.</remarks>
    public string? Sinal { get; }

    /// <summary>The number of the signal that ended it, or null.</summary>
    public int? NumeroDoSinal { get; }

    /// <summary>The last 8 KiB of the bridge's standard error, where the Free Pascal runtime
    /// reports an unhandled exception.</summary>
    public string Stderr { get; }

    private static string Mensagem(long? status, int? sinal)
    {
        if (sinal is int numero)
        {
            string? nome = Sinais.Nome(numero);
            return string.Format(CultureInfo.InvariantCulture, "a ponte encerrou pelo sinal {0}{1} sem responder",
                numero, nome is null ? "" : " (" + nome + ")");
        }
        return string.Format(CultureInfo.InvariantCulture, "a ponte encerrou com o status {0} sem responder", status);
    }
}

/// <summary>The answer was not what the protocol says (not a JSON object with a boolean
/// <c>ok</c>): something else wrote to the bridge's output, so later answers could not be trusted
/// to match their calls. The bridge was discarded.</summary>
public sealed class RespostaInvalidaException : AcbrPonteException
{
    private const int MaximoNaMensagem = 200;

    /// <summary>An error for the line read.</summary>
    public RespostaInvalidaException(string linha)
        : base("resposta inválida da ponte: " + Cortar(linha))
    {
        Linha = linha;
    }

    /// <summary>The line, as text, without its line feed.</summary>
    public string Linha { get; }

    private static string Cortar(string linha)
    {
        int caracteres = 0;
        for (int i = 0; i < linha.Length; i++)
        {
            if (caracteres == MaximoNaMensagem)
            {
                return linha.Substring(0, i) + "...";
            }
            if (char.IsHighSurrogate(linha[i]) && i + 1 < linha.Length && char.IsLowSurrogate(linha[i + 1]))
            {
                i++;
            }
            caracteres++;
        }
        return linha;
    }
}

/// <summary>A command that cannot be sent as one line (blank, holding a line feed, not valid
/// UTF-16); refused before anything is written, so the bridge is not touched.</summary>
public sealed class ComandoRecusadoException : AcbrPonteException
{
    /// <summary>An error with its message.</summary>
    public ComandoRecusadoException(string mensagem)
        : base(mensagem)
    {
    }
}

/// <summary>A call on a <see cref="Ponte"/> that was disposed.</summary>
public sealed class PonteFechadaException : AcbrPonteException
{
    /// <summary>The error.</summary>
    public PonteFechadaException()
        : base("a Ponte foi fechada")
    {
    }
}

/// <summary>No bridge was found, or it could not be started. The system's error, if any, is the
/// <see cref="Exception.InnerException"/>.</summary>
public class PonteNaoIniciadaException : AcbrPonteException
{
    /// <summary>An error with its message and the path tried.</summary>
    public PonteNaoIniciadaException(string mensagem, string? executavel, Exception? causa = null)
        : base(mensagem, causa)
    {
        Executavel = executavel;
    }

    /// <summary>The path that was tried, or null when none was found.</summary>
    public string? Executavel { get; }
}

/// <summary>The configuration folder the bridge from the package runs from, or its copy there,
/// could be changed by someone else (or was): nothing was run.</summary>
public sealed class LocalInseguroException : PonteNaoIniciadaException
{
    /// <summary>An error for a path and what is wrong with it.</summary>
    public LocalInseguroException(string caminho, string motivo)
        : base("local inseguro para a ponte: " + caminho + ": " + motivo, null)
    {
        Caminho = caminho;
        Motivo = motivo;
    }

    /// <summary>The folder or the copy.</summary>
    public string Caminho { get; }

    /// <summary>What is wrong: <c>"é um link simbólico"</c>, <c>"a pasta pertence a outro
    /// usuário"</c>, ...</summary>
    public string Motivo { get; }
}

/// <summary>Texts the errors share.</summary>
internal static class Mensagens
{
    internal const string NaoEncontrada =
        "acbr-ponte não encontrado: dê o caminho da ponte, defina ACBR_PONTE, instale o pacote com a " +
        "ponte desta plataforma ou ponha acbr-ponte no PATH";

    // The stderr tail goes into a message up to this many bytes of UTF-8 (the property keeps it all).
    private const int SufixoMaximo = 1000;
    private static readonly char[] Espacos = EspacoBranco.Caracteres.ToCharArray();

    /// <summary>The end of standard error, for a message: at most its last 1000 bytes.</summary>
    internal static string SufixoDoStderr(string stderr)
    {
        string texto = stderr.Trim(Espacos);
        if (texto.Length == 0)
        {
            return "";
        }
        byte[] dados = Encoding.UTF8.GetBytes(texto);
        if (dados.Length > SufixoMaximo)
        {
            int inicio = dados.Length - SufixoMaximo;
            while (inicio < dados.Length && (dados[inicio] & 0xC0) == 0x80)
            {
                inicio++;
            }
            texto = "..." + Encoding.UTF8.GetString(dados, inicio, dados.Length - inicio);
        }
        return "\nstderr:\n" + texto;
    }

    internal static string NaoIniciada(string executavel, string motivo) =>
        "não foi possível iniciar a ponte " + executavel + ": " + motivo;
}
