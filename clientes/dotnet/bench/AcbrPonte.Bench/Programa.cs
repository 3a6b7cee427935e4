using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Text;
using System.Threading.Tasks;
using AcbrPonte;

// dotnet run -c Release --project clientes/dotnet/bench/AcbrPonte.Bench -- PONTE ACBR_DIR [CONSULTAS] [RODADAS] [PARES]
//
// Per call: CONSULTAS version queries through one bridge (no replacement), the median of RODADAS
// rounds, for the client's Versao(), its VersaoAsync() and the same exchange written and read on
// the raw pipes of a Process. First answer: a new Ponte's first Versao() against starting the
// bridge with Process and one exchange; PARES pairs after one warm-up pair, the order swapped
// every pair, and the median of each side.
if (args.Length < 2)
{
    Console.Error.WriteLine("uso: AcbrPonte.Bench PONTE ACBR_DIR [CONSULTAS=3000] [RODADAS=5] [PARES=11]");
    return 2;
}
string ponte = Path.GetFullPath(args[0]);
string acbrDir = Path.GetFullPath(args[1]);
int consultas = args.Length > 2 ? int.Parse(args[2], CultureInfo.InvariantCulture) : 3000;
int rodadas = args.Length > 3 ? int.Parse(args[3], CultureInfo.InvariantCulture) : 5;
int pares = args.Length > 4 ? int.Parse(args[4], CultureInfo.InvariantCulture) : 11;
byte[] comando = Encoding.UTF8.GetBytes("{\"cmd\":\"versao\"}\n");
var opcoes = new OpcoesDaPonte { Executavel = ponte, AcbrDir = acbrDir, ComandosPorPonte = 0 };

Process Iniciar()
{
    var inicio = new ProcessStartInfo(ponte)
    {
        UseShellExecute = false, RedirectStandardInput = true, RedirectStandardOutput = true, RedirectStandardError = true,
    };
    inicio.Environment["ACBR_DIR"] = acbrDir;
    var processo = Process.Start(inicio)!;
    _ = processo.StandardError.BaseStream.CopyToAsync(Stream.Null);
    return processo;
}

void Trocar(Stream entrada, Stream saida, byte[] bloco)
{
    entrada.Write(comando, 0, comando.Length);
    int lidos = 0;
    while (true)
    {
        int n = saida.Read(bloco, lidos, bloco.Length - lidos);
        if (n <= 0) throw new EndOfStreamException();
        lidos += n;
        if (bloco[lidos - 1] == '\n') return;
    }
}

// One round: CONSULTAS queries each way, through three bridges started side by side, in blocks of
// 100 taken in turn, so that whatever else the machine does touches the three alike.
async Task<(double Bruta, double Cliente, double ClienteAsync)> Rodada()
{
    using Process processo = Iniciar();
    Stream entrada = processo.StandardInput.BaseStream, saida = processo.StandardOutput.BaseStream;
    var bloco = new byte[65536];
    using var cliente = new Ponte(opcoes);
    await using var clienteAsync = new Ponte(opcoes);
    Trocar(entrada, saida, bloco);
    cliente.Versao();
    await clienteAsync.VersaoAsync();
    var tempos = new Stopwatch[] { new(), new(), new() };
    for (int feitas = 0; feitas < consultas; feitas += 100)
    {
        int vez = Math.Min(100, consultas - feitas);
        tempos[0].Start();
        for (int i = 0; i < vez; i++) Trocar(entrada, saida, bloco);
        tempos[0].Stop();
        tempos[1].Start();
        for (int i = 0; i < vez; i++) cliente.Versao();
        tempos[1].Stop();
        tempos[2].Start();
        for (int i = 0; i < vez; i++) await clienteAsync.VersaoAsync();
        tempos[2].Stop();
    }
    entrada.Close();
    processo.WaitForExit();
    return (tempos[0].Elapsed.TotalMicroseconds / consultas, tempos[1].Elapsed.TotalMicroseconds / consultas,
        tempos[2].Elapsed.TotalMicroseconds / consultas);
}

double PrimeiraBruta()
{
    var relogio = Stopwatch.StartNew();
    using Process processo = Iniciar();
    Trocar(processo.StandardInput.BaseStream, processo.StandardOutput.BaseStream, new byte[65536]);
    double us = relogio.Elapsed.TotalMicroseconds;
    processo.StandardInput.Close();
    processo.WaitForExit();
    return us;
}

double PrimeiraDoCliente()
{
    var relogio = Stopwatch.StartNew();
    using var cliente = new Ponte(opcoes);
    cliente.Versao();
    return relogio.Elapsed.TotalMicroseconds;
}

static double Mediana(List<double> valores)
{
    var ordem = valores.OrderBy(v => v).ToList();
    return ordem[ordem.Count / 2];
}

// Warm up every path (JIT, tiering), then the rounds interleaved so that drifts touch all alike.
for (int i = 0; i < 2; i++)
{
    await Rodada(); PrimeiraBruta(); PrimeiraDoCliente();
}
var medidas = new Dictionary<string, List<double>>
{
    ["bruta"] = new(), ["cliente"] = new(), ["cliente_async"] = new(), ["primeira_bruta"] = new(), ["primeira_cliente"] = new(),
};
for (int r = 0; r < rodadas; r++)
{
    (double bruta_, double cliente_, double clienteAsync_) = await Rodada();
    medidas["bruta"].Add(bruta_);
    medidas["cliente"].Add(cliente_);
    medidas["cliente_async"].Add(clienteAsync_);
}
PrimeiraBruta(); PrimeiraDoCliente();
for (int i = 0; i < pares; i++)
{
    // In turn, the order swapped every pair: neither side always starts on a warmer machine.
    if (i % 2 == 0)
    {
        medidas["primeira_bruta"].Add(PrimeiraBruta());
        medidas["primeira_cliente"].Add(PrimeiraDoCliente());
    }
    else
    {
        medidas["primeira_cliente"].Add(PrimeiraDoCliente());
        medidas["primeira_bruta"].Add(PrimeiraBruta());
    }
}
double bruta = Mediana(medidas["bruta"]), primeira = Mediana(medidas["primeira_bruta"]);
Console.WriteLine($".NET {Environment.Version}, ponte {ponte}, ACBR_DIR {acbrDir}, {consultas} consultas, mediana de {rodadas} rodadas; primeira resposta: mediana de {pares} pares");
foreach ((string nome, List<double> valores) in medidas)
{
    double mediana = Mediana(valores);
    double base_ = nome.StartsWith("primeira", StringComparison.Ordinal) ? primeira : bruta;
    Console.WriteLine(string.Create(CultureInfo.InvariantCulture,
        $"{nome,-17} {mediana,9:F1} us  {mediana / base_,5:F2}x  [{string.Join(" ", valores.Select(v => v.ToString("F1", CultureInfo.InvariantCulture)))}]"));
}
return 0;
