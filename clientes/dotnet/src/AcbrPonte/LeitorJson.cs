using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace AcbrPonte;

/// <summary>What a member of an answer holds, for the members the client reads.</summary>
internal enum TipoDoMembro
{
    Ausente,
    Texto,
    Booleano,
    Outro,
}

/// <summary>A member of an answer: its kind and, for a text or a boolean, its value.</summary>
internal readonly struct Membro
{
    internal Membro(TipoDoMembro tipo, string? texto = null, bool booleano = false)
    {
        Tipo = tipo;
        Texto = texto;
        Booleano = booleano;
    }

    internal TipoDoMembro Tipo { get; }

    internal string? Texto { get; }

    internal bool Booleano { get; }
}

/// <summary>The members <c>ok</c>, <c>nome</c>, <c>versao</c> and <c>erro</c> of an answer
/// object (the last one when a name repeats).</summary>
internal sealed class MembrosDaResposta
{
    internal Membro Ok;
    internal Membro Nome;
    internal Membro Versao;
    internal Membro Erro;
}

/// <summary>Reads an answer line as JSON (RFC 8259: no comments, no trailing commas, no NaN),
/// keeping only the four members an answer has. The same reader on every target: the framework's
/// own reader exists on net10.0 only, and a behaviour shipped only on netstandard2.0 would go
/// untested.</summary>
internal sealed class LeitorJson
{
    private const int MembroOk = 1;
    private const int MembroNome = 2;
    private const int MembroVersao = 3;
    private const int MembroErro = 4;

    private readonly string _texto;
    private int _posicao;

    private LeitorJson(string texto)
    {
        _texto = texto;
    }

    /// <summary>The members of a text that is one JSON object, or null when it is not.</summary>
    internal static MembrosDaResposta? LerObjeto(string texto)
    {
        var leitor = new LeitorJson(texto);
        var membros = new MembrosDaResposta();
        return leitor.Objeto(membros) ? membros : null;
    }

    private bool Objeto(MembrosDaResposta membros)
    {
        Espacos();
        if (!Ha('{'))
        {
            return false;
        }
        _posicao++;
        Espacos();
        if (Ha('}'))
        {
            _posicao++;
        }
        else
        {
            while (true)
            {
                int qual = Chave();
                if (qual < 0)
                {
                    return false;
                }
                Espacos();
                switch (qual)
                {
                    case MembroOk:
                        if (!ValorDeInteresse(out membros.Ok)) return false;
                        break;
                    case MembroNome:
                        if (!ValorDeInteresse(out membros.Nome)) return false;
                        break;
                    case MembroVersao:
                        if (!ValorDeInteresse(out membros.Versao)) return false;
                        break;
                    case MembroErro:
                        if (!ValorDeInteresse(out membros.Erro)) return false;
                        break;
                    default:
                        if (!PularValor()) return false;
                        break;
                }
                Espacos();
                if (Ha(','))
                {
                    _posicao++;
                    Espacos();
                    continue;
                }
                if (!Ha('}'))
                {
                    return false;
                }
                _posicao++;
                break;
            }
        }
        Espacos();
        return _posicao == _texto.Length;
    }

    /// <summary>A member's name and the colon after it: which of the four it is (0: another),
    /// or -1 when it is not a name.</summary>
    private int Chave()
    {
        if (!Ha('"'))
        {
            return -1;
        }
        int inicio = _posicao + 1;
        int fim = inicio;
        while (fim < _texto.Length && _texto[fim] != '"' && _texto[fim] != '\\' && _texto[fim] >= ' ')
        {
            fim++;
        }
        int qual;
        if (fim < _texto.Length && _texto[fim] == '"')
        {
            _posicao = fim + 1;
            qual = Qual(_texto, inicio, fim - inicio);
        }
        else
        {
            var nome = new StringBuilder();
            if (!Texto(nome))
            {
                return -1;
            }
            string decodificado = nome.ToString();
            qual = Qual(decodificado, 0, decodificado.Length);
        }
        Espacos();
        if (!Ha(':'))
        {
            return -1;
        }
        _posicao++;
        return qual;
    }

    private static int Qual(string texto, int inicio, int tamanho)
    {
        if (Igual(texto, inicio, tamanho, "ok")) return MembroOk;
        if (Igual(texto, inicio, tamanho, "nome")) return MembroNome;
        if (Igual(texto, inicio, tamanho, "versao")) return MembroVersao;
        if (Igual(texto, inicio, tamanho, "erro")) return MembroErro;
        return 0;
    }

    private static bool Igual(string texto, int inicio, int tamanho, string nome) =>
        tamanho == nome.Length && string.CompareOrdinal(texto, inicio, nome, 0, tamanho) == 0;

    private bool ValorDeInteresse(out Membro membro)
    {
        membro = new Membro(TipoDoMembro.Outro);
        if (Ha('"'))
        {
            string? texto = TextoDecodificado();
            if (texto is null)
            {
                return false;
            }
            membro = new Membro(TipoDoMembro.Texto, texto);
            return true;
        }
        if (Literal("true"))
        {
            membro = new Membro(TipoDoMembro.Booleano, booleano: true);
            return true;
        }
        if (Literal("false"))
        {
            membro = new Membro(TipoDoMembro.Booleano, booleano: false);
            return true;
        }
        return PularValor();
    }

    private string? TextoDecodificado()
    {
        int inicio = _posicao + 1;
        int fim = inicio;
        while (fim < _texto.Length && _texto[fim] != '"' && _texto[fim] != '\\' && _texto[fim] >= ' ')
        {
            fim++;
        }
        if (fim < _texto.Length && _texto[fim] == '"')
        {
            _posicao = fim + 1;
            return _texto.Substring(inicio, fim - inicio);
        }
        var destino = new StringBuilder();
        return Texto(destino) ? destino.ToString() : null;
    }

    /// <summary>A string, from its opening quote; its decoded characters go to
    /// <paramref name="destino"/> when given.</summary>
    private bool Texto(StringBuilder? destino)
    {
        _posicao++;
        while (_posicao < _texto.Length)
        {
            char c = _texto[_posicao++];
            if (c == '"')
            {
                return true;
            }
            if (c < ' ')
            {
                return false;
            }
            if (c != '\\')
            {
                destino?.Append(c);
                continue;
            }
            if (_posicao >= _texto.Length)
            {
                return false;
            }
            char escape = _texto[_posicao++];
            switch (escape)
            {
                case '"':
                case '\\':
                case '/':
                    destino?.Append(escape);
                    break;
                case 'b': destino?.Append('\b'); break;
                case 'f': destino?.Append('\f'); break;
                case 'n': destino?.Append('\n'); break;
                case 'r': destino?.Append('\r'); break;
                case 't': destino?.Append('\t'); break;
                case 'u':
                    if (_posicao + 4 > _texto.Length || !int.TryParse(_texto.Substring(_posicao, 4),
                            NumberStyles.AllowHexSpecifier, CultureInfo.InvariantCulture, out int codigo))
                    {
                        return false;
                    }
                    _posicao += 4;
                    destino?.Append((char)codigo);
                    break;
                default:
                    return false;
            }
        }
        return false;
    }

    /// <summary>Any JSON value, checked and skipped; containers without recursion, so no depth
    /// is too deep.</summary>
    private bool PularValor()
    {
        List<bool>? abertos = null; // true: an object, false: an array
        while (true)
        {
            Espacos();
            if (_posicao >= _texto.Length)
            {
                return false;
            }
            char c = _texto[_posicao];
            bool abriu = false;
            if (c == '{' || c == '[')
            {
                _posicao++;
                Espacos();
                if (Ha(c == '{' ? '}' : ']'))
                {
                    _posicao++;
                }
                else
                {
                    if (c == '{' && Chave() < 0)
                    {
                        return false;
                    }
                    (abertos ??= new List<bool>()).Add(c == '{');
                    abriu = true;
                }
            }
            else if (!Escalar())
            {
                return false;
            }
            if (abriu)
            {
                continue;
            }
            // After a whole value: the next element, or the ends of the containers it closes.
            while (true)
            {
                if (abertos is null || abertos.Count == 0)
                {
                    return true;
                }
                Espacos();
                bool objeto = abertos[abertos.Count - 1];
                if (Ha(','))
                {
                    _posicao++;
                    if (objeto)
                    {
                        Espacos();
                        if (Chave() < 0)
                        {
                            return false;
                        }
                    }
                    break;
                }
                if (!Ha(objeto ? '}' : ']'))
                {
                    return false;
                }
                _posicao++;
                abertos.RemoveAt(abertos.Count - 1);
            }
        }
    }

    private bool Escalar()
    {
        char c = _texto[_posicao];
        if (c == '"')
        {
            return Texto(null);
        }
        if (c == '-' || (c >= '0' && c <= '9'))
        {
            return Numero();
        }
        return Literal("true") || Literal("false") || Literal("null");
    }

    private bool Numero()
    {
        if (Ha('-'))
        {
            _posicao++;
        }
        if (Ha('0'))
        {
            _posicao++;
        }
        else if (!Digitos())
        {
            return false;
        }
        if (Ha('.'))
        {
            _posicao++;
            if (!Digitos())
            {
                return false;
            }
        }
        if (Ha('e') || Ha('E'))
        {
            _posicao++;
            if (Ha('+') || Ha('-'))
            {
                _posicao++;
            }
            if (!Digitos())
            {
                return false;
            }
        }
        return true;
    }

    private bool Digitos()
    {
        int inicio = _posicao;
        while (_posicao < _texto.Length && _texto[_posicao] >= '0' && _texto[_posicao] <= '9')
        {
            _posicao++;
        }
        return _posicao > inicio;
    }

    private bool Literal(string literal)
    {
        if (_posicao + literal.Length > _texto.Length ||
            string.CompareOrdinal(_texto, _posicao, literal, 0, literal.Length) != 0)
        {
            return false;
        }
        _posicao += literal.Length;
        return true;
    }

    private bool Ha(char c) => _posicao < _texto.Length && _texto[_posicao] == c;

    private void Espacos()
    {
        while (_posicao < _texto.Length)
        {
            char c = _texto[_posicao];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            {
                return;
            }
            _posicao++;
        }
    }
}
