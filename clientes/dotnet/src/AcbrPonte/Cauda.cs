using System;
using System.Text;

namespace AcbrPonte;

/// <summary>The last bytes of a bridge's standard error, in bounded memory.</summary>
internal sealed class Cauda
{
    /// <summary>Bytes of standard error kept from each bridge (the end of it).</summary>
    internal const int Tamanho = 8192;

    private readonly object _trava = new();
    // Cut only when twice the size is full: the cost per byte stays constant.
    private readonly byte[] _dados = new byte[2 * Tamanho];
    private int _usados;
    private bool _cortada;

    internal void Acrescentar(byte[] dados, int quantos)
    {
        lock (_trava)
        {
            if (quantos >= Tamanho)
            {
                Buffer.BlockCopy(dados, quantos - Tamanho, _dados, 0, Tamanho);
                _usados = Tamanho;
                _cortada = true;
                return;
            }
            if (_usados + quantos > _dados.Length)
            {
                Buffer.BlockCopy(_dados, _usados - Tamanho, _dados, 0, Tamanho);
                _usados = Tamanho;
                _cortada = true;
            }
            Buffer.BlockCopy(dados, 0, _dados, _usados, quantos);
            _usados += quantos;
        }
    }

    /// <summary>The kept bytes as text, from a whole UTF-8 character on.</summary>
    internal string Texto()
    {
        lock (_trava)
        {
            int quantos = Math.Min(_usados, Tamanho);
            int inicio = _usados - quantos;
            if (_cortada || _usados > Tamanho)
            {
                int fim = inicio + Math.Min(3, quantos);
                while (inicio < fim && (_dados[inicio] & 0xC0) == 0x80)
                {
                    inicio++;
                }
            }
            return Encoding.UTF8.GetString(_dados, inicio, _usados - inicio);
        }
    }
}
