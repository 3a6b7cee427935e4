using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Threading;
using Xunit;

[assembly: CollectionBehavior(DisableTestParallelization = true)]

namespace AcbrPonte.Tests;

/// <summary>What the tests share: where the built bridge, its stand-ins and the table of client
/// cases are, and what this process has left in /proc.
/// <para>The tests run the real bridge named by ACBR_PONTE (tools/testar-cliente-dotnet.sh sets it
/// to &lt;build&gt;/acbr-ponte); the stand-ins are found where the build puts them:
/// &lt;build&gt;/acbr (C), &lt;build&gt;/falsa/pascal (Free Pascal, absent without fpc) and
/// &lt;build&gt;/falsa/&lt;variante&gt;.</para></summary>
internal static class Apoio
{
    internal static readonly string PonteConstruida = Environment.GetEnvironmentVariable("ACBR_PONTE") ?? "";
    internal static readonly string Build = PonteConstruida.Length > 0 ? Path.GetDirectoryName(Path.GetFullPath(PonteConstruida))! : "";
    internal static readonly string FalsaC = Path.Combine(Build, "acbr");
    internal static readonly string FalsaPascal = Path.Combine(Build, "falsa", "pascal");
    internal static readonly string Variantes = Path.Combine(Build, "falsa");
    internal static readonly string Casos = AcharCasos();
    internal static readonly string PontesSimuladas = Path.Combine(Casos, "pontes");
    internal static readonly bool Linux = OperatingSystem.IsLinux();

    internal const string Esperada = "ACBrLibNFe (falsa)";
    internal const string SemPonte = "ACBR_PONTE does not name a built acbr-ponte (tools/testar-cliente-dotnet.sh sets it)";
    internal const string SemPascal = "the Free Pascal stand-in was not built (fpc missing)";

    internal static bool HaPonte => PonteConstruida.Length > 0 && File.Exists(PonteConstruida);

    internal static bool HaPascal =>
        Directory.Exists(FalsaPascal) && Directory.EnumerateFiles(FalsaPascal).Any(n => n.EndsWith(".so", StringComparison.Ordinal) || n.EndsWith(".dll", StringComparison.Ordinal));

    /// <summary>The library's file name on this platform, as the C stand-in was built.</summary>
    internal static string ArquivoDaBiblioteca() =>
        Directory.EnumerateFiles(FalsaC).Select(Path.GetFileName).Where(n => n!.EndsWith(".so", StringComparison.Ordinal) || n.EndsWith(".dll", StringComparison.Ordinal)).Order(StringComparer.Ordinal).First()!;

    // The table and the simulated bridges every client shares (clientes/casos), found above this
    // client in the repository, or where ACBR_PONTE_CASOS says.
    private static string AcharCasos()
    {
        string? dado = Environment.GetEnvironmentVariable("ACBR_PONTE_CASOS");
        if (!string.IsNullOrEmpty(dado))
        {
            return dado;
        }
        for (var pasta = new DirectoryInfo(AppContext.BaseDirectory); pasta is not null; pasta = pasta.Parent)
        {
            string candidata = Path.Combine(pasta.FullName, "clientes", "casos");
            if (File.Exists(Path.Combine(candidata, "casos.json")))
            {
                return candidata;
            }
        }
        return "";
    }

    /// <summary>Sets (or, for null, removes) an environment variable of this process, which is
    /// what a bridge started now inherits.</summary>
    internal static void Definir(string nome, string? valor) => Environment.SetEnvironmentVariable(nome, valor);

    /// <summary>This process's children, zombies included, with their state letter.</summary>
    internal static Dictionary<int, string> Filhos()
    {
        var achados = new Dictionary<int, string>();
        int eu = Environment.ProcessId;
        foreach (string pasta in Directory.EnumerateDirectories("/proc"))
        {
            string nome = Path.GetFileName(pasta);
            if (!nome.All(char.IsAsciiDigit))
            {
                continue;
            }
            string dados;
            try
            {
                dados = File.ReadAllText(Path.Combine(pasta, "stat"));
            }
            catch (IOException)
            {
                continue;
            }
            string[] campos = dados[(dados.LastIndexOf(')') + 2)..].Split(' ');
            if (int.Parse(campos[1], System.Globalization.CultureInfo.InvariantCulture) == eu)
            {
                achados[int.Parse(nome, System.Globalization.CultureInfo.InvariantCulture)] = campos[0];
            }
        }
        return achados;
    }

    /// <summary>The state letter of a process (Z: zombie), or "?" when it is gone.</summary>
    internal static string EstadoDoProcesso(int pid)
    {
        try
        {
            string dados = File.ReadAllText($"/proc/{pid}/stat");
            return dados[dados.LastIndexOf(')') + 2].ToString();
        }
        catch (IOException)
        {
            return "?";
        }
    }

    internal static bool Terminado(int pid) => EstadoDoProcesso(pid) is "Z" or "?";

    /// <summary>Waits up to <paramref name="segundos"/> for a condition; whether it came.</summary>
    internal static bool Ate(Func<bool> condicao, double segundos = 10)
    {
        var relogio = Stopwatch.StartNew();
        while (!condicao())
        {
            if (relogio.Elapsed.TotalSeconds > segundos)
            {
                return false;
            }
            Thread.Sleep(10);
        }
        return true;
    }

    /// <summary>No bridge left: no child process (a zombie included), checked once the pipes of
    /// a bridge ended a moment ago have had time to close.</summary>
    internal static void SemFilhos()
    {
        if (Linux)
        {
            Assert.True(Ate(() => Filhos().Count == 0, 5), "child processes left behind: " + string.Join(", ", Filhos()));
        }
    }

    internal static void MudarModo(string caminho, string octal) =>
        File.SetUnixFileMode(caminho, (UnixFileMode)Convert.ToInt32(octal, 8));

    [DllImport("libc.so.6", EntryPoint = "lchown", SetLastError = true)]
    private static extern int LchownNativo(string caminho, uint dono, uint grupo);

    [DllImport("libc.so.6", EntryPoint = "kill", SetLastError = true)]
    private static extern int KillNativo(int pid, int sinal);

    /// <summary>Gives a file (or a link itself) to another user and group.</summary>
    internal static void MudarDono(string caminho, uint dono) =>
        Assert.True(LchownNativo(caminho, dono, dono) == 0, "lchown: errno " + Marshal.GetLastPInvokeError());

    /// <summary>SIGKILL to any process (one this process did not start too).</summary>
    internal static void MatarComSigkill(int pid) => KillNativo(pid, 9);

    internal static string Sha256(string caminho) =>
        Convert.ToHexStringLower(System.Security.Cryptography.SHA256.HashData(File.ReadAllBytes(caminho)));

    /// <summary>A folder laid out as a package lays out its bridges: &lt;rid&gt;/acbr-ponte and
    /// its sha256.</summary>
    internal static string PorNoPacote(string pacote, string chave, string fonte)
    {
        string pasta = Path.Combine(pacote, chave);
        Directory.CreateDirectory(pasta);
        string nome = chave.StartsWith("win-", StringComparison.Ordinal) ? "acbr-ponte.exe" : "acbr-ponte";
        File.Copy(fonte, Path.Combine(pasta, nome), true);
        string resumo = Sha256(fonte);
        File.WriteAllText(Path.Combine(pasta, "acbr-ponte.sha256"), resumo + "  " + nome + "\n");
        return resumo;
    }
}
