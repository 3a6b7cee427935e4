namespace AcbrPonte;

/// <summary>The library's name and version, as <see cref="Ponte.Versao"/> gives them.</summary>
/// <param name="Nome">The library's name; null when the answer leaves it out.</param>
/// <param name="Numero">The library's version (the answer's <c>versao</c>; C# does not let a
/// member share its type's name); null when the answer leaves it out.</param>
public sealed record Versao(string? Nome, string? Numero);
