using System;
using AcbrPonte;

// hospedeiro esquecida           : one query, prints the bridge's name and pid, ends without Dispose
// hospedeiro parada              : one query, prints the pid, then waits to be killed
// hospedeiro copia PASTA ACBR_DIR: waits for a line on its input, then queries the bridge of its
//                                  package (placed in PASTA) and prints the name
string modo = args.Length > 0 ? args[0] : "";
switch (modo)
{
    case "esquecida":
    {
        var ponte = new Ponte();
        Console.WriteLine(ponte.Versao().Nome + "\n" + ponte.Pid);
        return 0;
    }
    case "parada":
    {
        var ponte = new Ponte();
        ponte.Versao();
        Console.WriteLine(ponte.Pid);
        Console.Out.Flush();
        System.Threading.Thread.Sleep(System.Threading.Timeout.Infinite);
        return 0;
    }
    case "copia":
    {
        Console.ReadLine();
        using var ponte = new Ponte(new OpcoesDaPonte { PastaDeConfiguracao = args[1], AcbrDir = args[2] });
        Console.WriteLine(ponte.Versao().Nome);
        return 0;
    }
    default:
        Console.Error.WriteLine("uso: hospedeiro esquecida | parada | copia PASTA ACBR_DIR");
        return 2;
}
