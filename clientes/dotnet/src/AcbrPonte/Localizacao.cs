using System;
using System.IO;
using System.Runtime.InteropServices;

namespace AcbrPonte;

/// <summary>A bridge this package carries, and the sha256 the package gives for it.</summary>
internal sealed record PonteDoPacote(string Chave, string Caminho, string Sha256);

/// <summary>Where the bridge comes from: the path given, <c>ACBR_PONTE</c>, the bridge in this
/// package for the platform, or <c>acbr-ponte</c> on <c>PATH</c>.</summary>
internal static class Localizacao
{
    internal const string NomeDoExecutavel = "acbr-ponte";

    internal static readonly bool Windows = RuntimeInformation.IsOSPlatform(OSPlatform.Windows);
    internal static readonly bool Linux = RuntimeInformation.IsOSPlatform(OSPlatform.Linux);

    /// <summary><c>linux-x64</c>, <c>win-x86</c>, ...: the system and the word size of this
    /// process, or of <paramref name="arquitetura"/>; null where no bridge is packaged (the
    /// library exists for neither).</summary>
    internal static string? ChaveDaPlataforma(Arquitetura? arquitetura)
    {
        string? sistema = Linux ? "linux" : Windows ? "win" : null;
        if (sistema is null)
        {
            return null;
        }
        string? palavra = arquitetura switch
        {
            Arquitetura.X64 => "x64",
            Arquitetura.X86 => "x86",
            _ => RuntimeInformation.ProcessArchitecture switch
            {
                System.Runtime.InteropServices.Architecture.X64 => "x64",
                System.Runtime.InteropServices.Architecture.X86 => "x86",
                _ => null,
            },
        };
        return palavra is null ? null : sistema + "-" + palavra;
    }

    private static string NomePara(string chave) =>
        NomeDoExecutavel + (chave.StartsWith("win-", StringComparison.Ordinal) ? ".exe" : "");

    /// <summary>The packaged bridge for <paramref name="chave"/>, or null when there is none:
    /// <c>runtimes/&lt;rid&gt;/native/</c> beside the application, as the SDK lays out the
    /// package's files, or the application's own folder, where a build for one runtime
    /// identifier puts that identifier's files (and then its sha256 must be there too).</summary>
    internal static PonteDoPacote? PonteDoPacote(string chave, string? pastaDoPacote)
    {
        string nome = NomePara(chave);
        if (pastaDoPacote is not null)
        {
            return NaPasta(chave, Path.Combine(pastaDoPacote, chave), nome);
        }
        string aplicacao = AppContext.BaseDirectory;
        PonteDoPacote? achada = NaPasta(chave, Path.Combine(aplicacao, "runtimes", chave, "native"), nome);
        if (achada is null && chave == ChaveDaPlataforma(null) &&
            File.Exists(Path.Combine(aplicacao, NomeDoExecutavel + ".sha256")))
        {
            achada = NaPasta(chave, aplicacao, nome);
        }
        return achada;
    }

    private static PonteDoPacote? NaPasta(string chave, string pasta, string nome)
    {
        string caminho = Path.Combine(pasta, nome);
        if (!File.Exists(caminho))
        {
            return null;
        }
        string sha256 = "";
        try
        {
            using var leitor = new StreamReader(Path.Combine(pasta, NomeDoExecutavel + ".sha256"));
            var primeiros = new char[64];
            sha256 = new string(primeiros, 0, leitor.ReadBlock(primeiros, 0, primeiros.Length));
        }
        catch (IOException)
        {
        }
        catch (UnauthorizedAccessException)
        {
        }
        if (sha256.Length != 64 || !HexadecimalMinusculo(sha256))
        {
            throw new PonteNaoIniciadaException(
                "a ponte do pacote " + caminho + " não confere com o sha256 que o pacote traz", caminho);
        }
        return new PonteDoPacote(chave, caminho, sha256);
    }

    private static bool HexadecimalMinusculo(string texto)
    {
        foreach (char c in texto)
        {
            if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'f'))
            {
                return false;
            }
        }
        return true;
    }

    /// <summary><c>acbr-ponte</c> (<c>acbr-ponte.exe</c>) in a folder of <c>PATH</c>, or null.
    /// Empty entries (the current folder) are skipped.</summary>
    internal static string? NoPath()
    {
        string nome = NomeDoExecutavel + (Windows ? ".exe" : "");
        string? path = Environment.GetEnvironmentVariable("PATH");
        if (string.IsNullOrEmpty(path))
        {
            return null;
        }
        foreach (string pasta in path!.Split(Path.PathSeparator))
        {
            if (pasta.Length == 0)
            {
                continue;
            }
            string caminho = Path.Combine(pasta, nome);
            if (Executavel(caminho))
            {
                return caminho;
            }
        }
        return null;
    }

    private static bool Executavel(string caminho)
    {
        if (Linux)
        {
            return Libc.Stat(caminho, true, out Libc.Estado estado) == 0 &&
                   (estado.Modo & Libc.TipoDoArquivo) == Libc.Comum && (estado.Modo & 0x49) != 0; // 0111
        }
#if NET
        if (!OperatingSystem.IsWindows())
        {
            return File.Exists(caminho) &&
                   (File.GetUnixFileMode(caminho) & (UnixFileMode.UserExecute | UnixFileMode.GroupExecute | UnixFileMode.OtherExecute)) != 0;
        }
#endif
        return File.Exists(caminho);
    }

    /// <summary>On Windows, a path given without <c>.exe</c> names the file with it, when only
    /// that exists.</summary>
    internal static string ComExe(string caminho) =>
        Windows && !File.Exists(caminho) && File.Exists(caminho + ".exe") ? caminho + ".exe" : caminho;

    /// <summary>The per-user folder where the bridge from the package is placed.</summary>
    internal static string PastaPorUsuario()
    {
        string? raiz;
        if (Windows)
        {
            raiz = Environment.GetEnvironmentVariable("LOCALAPPDATA");
            if (string.IsNullOrEmpty(raiz))
            {
                raiz = Environment.GetFolderPath(Environment.SpecialFolder.LocalApplicationData);
            }
        }
        else
        {
            raiz = Environment.GetEnvironmentVariable("XDG_DATA_HOME");
            if (string.IsNullOrEmpty(raiz) || !Path.IsPathRooted(raiz))
            {
                string? casa = Environment.GetEnvironmentVariable("HOME");
                if (string.IsNullOrEmpty(casa))
                {
                    casa = Environment.GetFolderPath(Environment.SpecialFolder.UserProfile);
                }
                raiz = Path.Combine(casa!, ".local", "share");
            }
        }
        return Path.Combine(raiz!, NomeDoExecutavel);
    }
}
