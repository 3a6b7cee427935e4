namespace AcbrPonte;

/// <summary>An answer of the bridge, as <see cref="Ponte.Enviar"/> gives it: failures too.</summary>
public sealed class Resposta
{
    /// <summary>An answer with its members and its line.</summary>
    public Resposta(bool ok, string? nome, string? versao, string? erro, string linha)
    {
        Ok = ok;
        Nome = nome;
        Versao = versao;
        Erro = erro;
        Linha = linha;
    }

    /// <summary>The answer's <c>ok</c>.</summary>
    public bool Ok { get; }

    /// <summary>The answer's <c>nome</c>, or null when it has none (or one that is not a text).</summary>
    public string? Nome { get; }

    /// <summary>The answer's <c>versao</c>, or null when it has none (or one that is not a text).</summary>
    public string? Versao { get; }

    /// <summary>The answer's <c>erro</c>, or null when it has none (or one that is not a text).</summary>
    public string? Erro { get; }

    /// <summary>The answer line as received, without its line feed: every member is there.</summary>
    public string Linha { get; }

    /// <summary>Whether <see cref="Ponte.Versao"/> may read this answer: <c>{"ok":true}</c> whose
    /// <c>nome</c> and <c>versao</c> are texts or absent, or <c>{"ok":false}</c> with an
    /// <c>erro</c> text.</summary>
    internal bool VersaoValida { get; init; }

    /// <summary>The answer line.</summary>
    public override string ToString() => Linha;
}
