using System.Text;

namespace AcbrPonte;

/// <summary>Commands into lines and lines into answers: what is refused before anything is
/// written, and what is not an answer.</summary>
internal static class Comando
{
    internal const string EmBranco = "comando em branco: a ponte não responde a linhas em branco";
    internal const string ComQuebra = "o comando tem uma quebra de linha: a ponte o leria como mais de uma linha";
    internal const string NaoUtf8 = "o comando não é UTF-8 válido";

    /// <summary>The version query's line.</summary>
    internal static readonly byte[] LinhaDaVersao = Encoding.UTF8.GetBytes("{\"cmd\":\"versao\"}\n");

    private static readonly UTF8Encoding Estrita = new(false, true);

    /// <summary>The line for <paramref name="comando"/>, line feed included, or
    /// <see cref="ComandoRecusadoException"/> for what the bridge would answer never (a blank
    /// line), more than once (a line feed inside) or could not read (a lone surrogate).</summary>
    internal static byte[] LinhaDoComando(string comando)
    {
        bool quebra = false, conteudo = false, surrogatoSozinho = false;
        for (int i = 0; i < comando.Length; i++)
        {
            char c = comando[i];
            if (c == '\n')
            {
                quebra = true;
            }
            else if (char.IsHighSurrogate(c) && i + 1 < comando.Length && char.IsLowSurrogate(comando[i + 1]))
            {
                conteudo = true;
                i++;
            }
            else if (char.IsSurrogate(c))
            {
                conteudo = true;
                surrogatoSozinho = true;
            }
            else if (!conteudo && EspacoBranco.Caracteres.IndexOf(c) < 0)
            {
                conteudo = true;
            }
        }
        if (quebra)
        {
            throw new ComandoRecusadoException(ComQuebra);
        }
        if (!conteudo)
        {
            throw new ComandoRecusadoException(EmBranco);
        }
        if (surrogatoSozinho)
        {
            throw new ComandoRecusadoException(NaoUtf8);
        }
        int tamanho = Encoding.UTF8.GetByteCount(comando);
        var linha = new byte[tamanho + 1];
        Encoding.UTF8.GetBytes(comando, 0, comando.Length, linha, 0);
        linha[tamanho] = (byte)'\n';
        return linha;
    }

    /// <summary>The answer in a line (without its line feed), or
    /// <see cref="RespostaInvalidaException"/>.</summary>
    internal static Resposta LerResposta(byte[] linha)
    {
        string texto;
        try
        {
            texto = Estrita.GetString(linha);
        }
        catch (DecoderFallbackException)
        {
            throw new RespostaInvalidaException(Encoding.UTF8.GetString(linha));
        }
        MembrosDaResposta? membros = LeitorJson.LerObjeto(texto);
        if (membros is null || membros.Ok.Tipo != TipoDoMembro.Booleano)
        {
            throw new RespostaInvalidaException(texto);
        }
        bool ok = membros.Ok.Booleano;
        return new Resposta(ok, membros.Nome.Texto, membros.Versao.Texto, membros.Erro.Texto, texto)
        {
            VersaoValida = ok
                ? TextoOuAusente(membros.Nome) && TextoOuAusente(membros.Versao)
                : membros.Erro.Tipo == TipoDoMembro.Texto,
        };
    }

    private static bool TextoOuAusente(Membro membro) =>
        membro.Tipo == TipoDoMembro.Texto || membro.Tipo == TipoDoMembro.Ausente;
}
