using System;
using System.ComponentModel;
using System.IO;
using System.Security.Cryptography;

namespace AcbrPonte;

/// <summary>The copy of the package's bridge in the configuration folder. The library keeps its
/// configuration file beside the running executable, which must then be a folder of the user's
/// own, never the installed package. Placed once (under a temporary name, checked against the
/// package's sha256, renamed into place) and checked again before every start: nothing runs from
/// a folder or a copy that someone else could change.</summary>
internal sealed class CopiaDaPonte
{
    private const uint SoDono = 0x1C0;       // 0700
    private const uint EscritaDosOutros = 0x12; // 0022

    // What the copy was when its sha256 was last found right.
    private (uint, uint, ulong, ulong, long, uint, long, uint)? _conferida;
    private (long, long, long)? _conferidaNoWindows;

    internal CopiaDaPonte(PonteDoPacote origem, string pasta, string versaoDoCliente)
    {
        Origem = origem;
        Pasta = pasta;
        Caminho = Path.Combine(pasta, Localizacao.NomeDoExecutavel + "-" + versaoDoCliente + "-" + origem.Chave + "-" +
                                      origem.Sha256.Substring(0, 16) + (origem.Chave.StartsWith("win-", StringComparison.Ordinal) ? ".exe" : ""));
    }

    internal PonteDoPacote Origem { get; }

    internal string Pasta { get; }

    internal string Caminho { get; }

    /// <summary>The copy's path, once the folder and the copy are checked; placed first if
    /// missing.</summary>
    internal string Pronta()
    {
        ConferirPasta();
        if (!ConferirCopia())
        {
            Colocar();
            if (!ConferirCopia())
            {
                throw new PonteNaoIniciadaException(Mensagens.NaoIniciada(Caminho, "a cópia sumiu logo depois de colocada"), Caminho);
            }
        }
        return Caminho;
    }

    private void ConferirPasta()
    {
        if (!Localizacao.Linux)
        {
            ConferirPastaNoWindows();
            return;
        }
        int erro = Libc.Stat(Pasta, false, out Libc.Estado estado);
        if (erro == Libc.Enoent)
        {
            CriarPasta();
            erro = Libc.Stat(Pasta, false, out estado);
        }
        if (erro != 0)
        {
            throw new PonteNaoIniciadaException(NaoCriada(Libc.Motivo(erro)), null);
        }
        uint tipo = estado.Modo & Libc.TipoDoArquivo;
        if (tipo == Libc.Link)
        {
            throw new LocalInseguroException(Pasta, "é um link simbólico");
        }
        if (tipo != Libc.Pasta)
        {
            throw new LocalInseguroException(Pasta, "não é uma pasta");
        }
        if (estado.Dono != Libc.UsuarioEfetivo())
        {
            throw new LocalInseguroException(Pasta, "a pasta pertence a outro usuário");
        }
        if ((estado.Modo & EscritaDosOutros) != 0)
        {
            throw new LocalInseguroException(Pasta, "a pasta pode ser alterada por outros usuários");
        }
    }

    private void CriarPasta()
    {
        try
        {
            string? pai = Path.GetDirectoryName(Path.GetFullPath(Pasta));
            if (pai is not null)
            {
                Directory.CreateDirectory(pai);
            }
            int erro = Libc.CriarPasta(Pasta, SoDono);
            if (erro == 0)
            {
                Libc.MudarModo(Pasta, SoDono); // whatever the umask took away
            }
            else if (erro != Libc.Eexist) // another host made it first: it is checked like any other
            {
                throw new PonteNaoIniciadaException(NaoCriada(Libc.Motivo(erro)), null);
            }
        }
        catch (Exception erro) when (erro is IOException or UnauthorizedAccessException or Win32Exception)
        {
            throw new PonteNaoIniciadaException(NaoCriada(erro.Message), null, erro);
        }
    }

    private string NaoCriada(string motivo) => "não foi possível criar a pasta " + Pasta + ": " + motivo;

    /// <summary>Checks the copy that is there; false when there is none yet.</summary>
    private bool ConferirCopia()
    {
        if (!Localizacao.Linux)
        {
            return ConferirCopiaNoWindows();
        }
        int erro = Libc.Stat(Caminho, false, out Libc.Estado estado);
        if (erro == Libc.Enoent)
        {
            return false;
        }
        if (erro != 0)
        {
            throw new PonteNaoIniciadaException(Mensagens.NaoIniciada(Caminho, Libc.Motivo(erro)), Caminho);
        }
        if ((estado.Modo & Libc.TipoDoArquivo) == Libc.Link)
        {
            throw new LocalInseguroException(Caminho, "é um link simbólico");
        }
        Segura(estado);
        if (estado.Marca == _conferida)
        {
            return true;
        }
        // Checked again on the file opened, the one read: another host placing the same copy at
        // this moment may have renamed its own over the one seen above, which is as good.
        string resumo;
        try
        {
            using var arquivo = new FileStream(Caminho, FileMode.Open, FileAccess.Read, FileShare.Read | FileShare.Delete);
            estado = Libc.Fstat(arquivo.SafeFileHandle);
            Segura(estado);
            resumo = Sha256(arquivo);
        }
        catch (Exception falha) when (falha is IOException or UnauthorizedAccessException or Win32Exception)
        {
            throw new PonteNaoIniciadaException(Mensagens.NaoIniciada(Caminho, falha.Message), Caminho, falha);
        }
        if (resumo != Origem.Sha256)
        {
            throw new LocalInseguroException(Caminho, "a cópia da ponte não confere com a do pacote");
        }
        _conferida = estado.Marca;
        return true;
    }

    /// <summary>A regular file of the user's own that nobody else can write; else
    /// <see cref="LocalInseguroException"/>.</summary>
    private void Segura(Libc.Estado estado)
    {
        if ((estado.Modo & Libc.TipoDoArquivo) != Libc.Comum)
        {
            throw new LocalInseguroException(Caminho, "não é um arquivo comum");
        }
        if (estado.Dono != Libc.UsuarioEfetivo())
        {
            throw new LocalInseguroException(Caminho, "a cópia da ponte pertence a outro usuário");
        }
        if ((estado.Modo & EscritaDosOutros) != 0)
        {
            throw new LocalInseguroException(Caminho, "a cópia da ponte pode ser alterada por outros usuários");
        }
    }

    private void Colocar()
    {
        var aleatorios = new byte[8];
        using (var gerador = RandomNumberGenerator.Create())
        {
            gerador.GetBytes(aleatorios);
        }
        string temporario = Path.Combine(Pasta, "." + Localizacao.NomeDoExecutavel + "-" + Hexadecimal(aleatorios) + ".tmp");
        try
        {
            string resumo;
            // CreateNew: created exclusively (O_CREAT | O_EXCL), so never through a link.
            using (var destino = new FileStream(temporario, FileMode.CreateNew, FileAccess.Write, FileShare.None))
            {
                if (Localizacao.Linux)
                {
                    Libc.MudarModo(destino.SafeFileHandle, SoDono);
                }
                using (var fonte = new FileStream(Origem.Caminho, FileMode.Open, FileAccess.Read, FileShare.Read))
                using (var sha = SHA256.Create())
                {
                    var bloco = new byte[1 << 16];
                    int lidos;
                    while ((lidos = fonte.Read(bloco, 0, bloco.Length)) > 0)
                    {
                        sha.TransformBlock(bloco, 0, lidos, null, 0);
                        destino.Write(bloco, 0, lidos);
                    }
                    sha.TransformFinalBlock(bloco, 0, 0);
                    resumo = Hexadecimal(sha.Hash!);
                }
                destino.Flush(true);
            }
            if (resumo != Origem.Sha256)
            {
                throw new PonteNaoIniciadaException(
                    "a ponte do pacote " + Origem.Caminho + " não confere com o sha256 que o pacote traz", Origem.Caminho);
            }
            if (Localizacao.Linux)
            {
                Libc.Renomear(temporario, Caminho);
            }
            else
            {
                try
                {
                    File.Move(temporario, Caminho);
                }
                catch (IOException) when (File.Exists(Caminho))
                {
                    // Windows: another host placed it and may be running it. That one is checked instead.
                }
            }
        }
        catch (Exception falha) when (falha is IOException or UnauthorizedAccessException or Win32Exception)
        {
            throw new PonteNaoIniciadaException(Mensagens.NaoIniciada(Caminho, falha.Message), Caminho, falha);
        }
        finally
        {
            try
            {
                File.Delete(temporario);
            }
            catch (IOException)
            {
            }
            catch (UnauthorizedAccessException)
            {
            }
        }
    }

    // Windows: the owner and the mode are left to the folder's access list (%LOCALAPPDATA% is the
    // user's own); the copy is still checked to be a file with the package's sha256.
    private void ConferirPastaNoWindows()
    {
        if (!Directory.Exists(Pasta) && !File.Exists(Pasta))
        {
            try
            {
                Directory.CreateDirectory(Pasta);
            }
            catch (Exception erro) when (erro is IOException or UnauthorizedAccessException)
            {
                throw new PonteNaoIniciadaException(NaoCriada(erro.Message), null, erro);
            }
        }
        FileAttributes atributos = File.GetAttributes(Pasta);
        if ((atributos & FileAttributes.ReparsePoint) != 0)
        {
            throw new LocalInseguroException(Pasta, "é um link simbólico");
        }
        if ((atributos & FileAttributes.Directory) == 0)
        {
            throw new LocalInseguroException(Pasta, "não é uma pasta");
        }
    }

    private bool ConferirCopiaNoWindows()
    {
        var info = new FileInfo(Caminho);
        if (!info.Exists && !Directory.Exists(Caminho))
        {
            return false;
        }
        if ((info.Attributes & FileAttributes.ReparsePoint) != 0)
        {
            throw new LocalInseguroException(Caminho, "é um link simbólico");
        }
        if ((info.Attributes & FileAttributes.Directory) != 0)
        {
            throw new LocalInseguroException(Caminho, "não é um arquivo comum");
        }
        var marca = (info.Length, info.LastWriteTimeUtc.Ticks, info.CreationTimeUtc.Ticks);
        if (marca == _conferidaNoWindows)
        {
            return true;
        }
        string resumo;
        try
        {
            using var arquivo = new FileStream(Caminho, FileMode.Open, FileAccess.Read, FileShare.Read | FileShare.Delete);
            resumo = Sha256(arquivo);
        }
        catch (Exception falha) when (falha is IOException or UnauthorizedAccessException)
        {
            throw new PonteNaoIniciadaException(Mensagens.NaoIniciada(Caminho, falha.Message), Caminho, falha);
        }
        if (resumo != Origem.Sha256)
        {
            throw new LocalInseguroException(Caminho, "a cópia da ponte não confere com a do pacote");
        }
        _conferidaNoWindows = marca;
        return true;
    }

    private static string Sha256(Stream arquivo)
    {
        using var sha = SHA256.Create();
        return Hexadecimal(sha.ComputeHash(arquivo));
    }

    private static string Hexadecimal(byte[] dados)
    {
        const string Digitos = "0123456789abcdef";
        var texto = new char[dados.Length * 2];
        for (int i = 0; i < dados.Length; i++)
        {
            texto[2 * i] = Digitos[dados[i] >> 4];
            texto[2 * i + 1] = Digitos[dados[i] & 0xF];
        }
        return new string(texto);
    }
}
