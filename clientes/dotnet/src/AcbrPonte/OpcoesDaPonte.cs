using System;
using System.Threading;

namespace AcbrPonte;

/// <summary>The options of a <see cref="Ponte"/>; those left out take their defaults.</summary>
/// <remarks>The properties are <c>init</c> on net10.0; on netstandard2.0 they have setters, so
/// that C# 7.3 (.NET Framework's default language version) can set them.</remarks>
public sealed class OpcoesDaPonte
{
    /// <summary>The bridge's path. Default: <c>ACBR_PONTE</c> from the environment, else the
    /// bridge in this package for the platform (run from its copy in
    /// <see cref="PastaDeConfiguracao"/>), else <c>acbr-ponte</c> on <c>PATH</c>.</summary>
    public string? Executavel
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    }

    /// <summary>Given to every bridge as <c>ACBR_DIR</c>, the folder of the library. Default: the
    /// bridge's own rule (<c>ACBR_DIR</c> from the environment, else <c>acbr</c> beside the
    /// executable).</summary>
    public string? AcbrDir
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    }

    /// <summary>How long a call may wait for its answer, counted from when its turn comes (the
    /// start of a bridge started for it included). Past it the bridge is killed. Positive, or
    /// <see cref="Timeout.InfiniteTimeSpan"/> for no limit. Default: 30 s.</summary>
    public TimeSpan TempoLimite
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    } = TimeSpan.FromSeconds(30);

    /// <summary>A bridge that has served this many commands is replaced before the next call;
    /// 0: never. Default: 1000.</summary>
    public int ComandosPorPonte
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    } = 1000;

    /// <summary>Which of the package's bridges to run: <see cref="AcbrPonte.Arquitetura.X86"/>
    /// runs the 32-bit one from a 64-bit host. Default (null): the host process's own.</summary>
    public Arquitetura? Arquitetura
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    }

    /// <summary>Where the bridge from the package is placed, and so where the library keeps its
    /// configuration file. Default: <c>$XDG_DATA_HOME/acbr-ponte</c> (else
    /// <c>~/.local/share/acbr-ponte</c>), <c>%LOCALAPPDATA%\acbr-ponte</c> on Windows.</summary>
    public string? PastaDeConfiguracao
    {
        get;
#if NETSTANDARD2_0
        set;
#else
        init;
#endif
    }

    /// <summary>Tests only: a folder of <c>&lt;rid&gt;/acbr-ponte</c> that stands for the
    /// package's bridges.</summary>
    internal string? PastaDoPacote { get; init; }

    /// <summary>A checked copy: the Ponte keeps its own, whatever happens to these later.</summary>
    internal OpcoesDaPonte Conferidas()
    {
        if (Executavel is { Length: 0 })
        {
            throw new ArgumentException("Executavel não pode ser vazio", nameof(Executavel));
        }
        if (PastaDeConfiguracao is { Length: 0 })
        {
            throw new ArgumentException("PastaDeConfiguracao não pode ser vazia", nameof(PastaDeConfiguracao));
        }
        if (TempoLimite != Timeout.InfiniteTimeSpan &&
            (TempoLimite <= TimeSpan.Zero || TempoLimite.TotalMilliseconds > int.MaxValue))
        {
            throw new ArgumentOutOfRangeException(nameof(TempoLimite), TempoLimite,
                "TempoLimite deve ser positivo (até int.MaxValue ms) ou Timeout.InfiniteTimeSpan");
        }
        if (ComandosPorPonte < 0)
        {
            throw new ArgumentOutOfRangeException(nameof(ComandosPorPonte), ComandosPorPonte,
                "ComandosPorPonte deve ser um inteiro >= 0");
        }
        if (Arquitetura is { } arquitetura && arquitetura != AcbrPonte.Arquitetura.X64 && arquitetura != AcbrPonte.Arquitetura.X86)
        {
            throw new ArgumentOutOfRangeException(nameof(Arquitetura), arquitetura,
                "Arquitetura deve ser X64, X86 ou null");
        }
        return new OpcoesDaPonte
        {
            Executavel = Executavel,
            AcbrDir = AcbrDir,
            TempoLimite = TempoLimite,
            ComandosPorPonte = ComandosPorPonte,
            Arquitetura = Arquitetura,
            PastaDeConfiguracao = PastaDeConfiguracao,
            PastaDoPacote = PastaDoPacote,
        };
    }
}
