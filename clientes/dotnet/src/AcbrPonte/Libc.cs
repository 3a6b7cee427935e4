using System;
using System.ComponentModel;
using System.Runtime.InteropServices;
using System.Text;
using Microsoft.Win32.SafeHandles;

namespace AcbrPonte;

/// <summary>The few calls into Linux's C library that the copy of the bridge needs and .NET does
/// not offer on every target: the owner and identity of a file without following a link, the
/// effective user, a folder made with its mode; and a wait with a time limit on a pipe. Linux only: the bridge is packaged for Linux and
/// Windows, and statx's structure is the same on every Linux architecture.</summary>
internal static class Libc
{
    // The bridge needs glibc; so may this.
    private const string Biblioteca = "libc.so.6";

    private const int AtFdcwd = -100;
    private const int AtSymlinkNofollow = 0x100;
    private const int AtEmptyPath = 0x1000;
    private const uint StatxBasicStats = 0x7ff;

    internal const int Enoent = 2;
    internal const int Eexist = 17;

    internal const uint TipoDoArquivo = 0xF000; // S_IFMT
    internal const uint Link = 0xA000;          // S_IFLNK
    internal const uint Comum = 0x8000;         // S_IFREG
    internal const uint Pasta = 0x4000;         // S_IFDIR

    /// <summary>struct statx, the members used here.</summary>
    [StructLayout(LayoutKind.Explicit, Size = 256)]
    internal struct Estado
    {
        [FieldOffset(20)] public uint Dono;
        [FieldOffset(28)] public ushort Modo;
        [FieldOffset(32)] public ulong Inode;
        [FieldOffset(40)] public ulong Tamanho;
        [FieldOffset(96)] public long AlteradoSegundos;
        [FieldOffset(104)] public uint AlteradoNanos;
        [FieldOffset(112)] public long ModificadoSegundos;
        [FieldOffset(120)] public uint ModificadoNanos;
        [FieldOffset(136)] public uint DispositivoMaior;
        [FieldOffset(140)] public uint DispositivoMenor;

        /// <summary>What tells a file's content has not changed since it was last read: the change
        /// time moves even when the modification time is set back.</summary>
        internal (uint, uint, ulong, ulong, long, uint, long, uint) Marca =>
            (DispositivoMaior, DispositivoMenor, Inode, Tamanho, ModificadoSegundos, ModificadoNanos,
             AlteradoSegundos, AlteradoNanos);
    }

    [DllImport(Biblioteca, EntryPoint = "statx", SetLastError = true)]
    private static extern int StatxNativo(int pasta, byte[] caminho,
        int bandeiras, uint mascara, out Estado estado);

    [DllImport(Biblioteca, EntryPoint = "geteuid")]
    private static extern uint GeteuidNativo();

    [DllImport(Biblioteca, EntryPoint = "mkdir", SetLastError = true)]
    private static extern int MkdirNativo(byte[] caminho, uint modo);

    [DllImport(Biblioteca, EntryPoint = "chmod", SetLastError = true)]
    private static extern int ChmodNativo(byte[] caminho, uint modo);

    [DllImport(Biblioteca, EntryPoint = "fchmod", SetLastError = true)]
    private static extern int FchmodNativo(int descritor, uint modo);

    [DllImport(Biblioteca, EntryPoint = "rename", SetLastError = true)]
    private static extern int RenameNativo(byte[] de, byte[] para);

    /// <summary>struct pollfd.</summary>
    [StructLayout(LayoutKind.Sequential)]
    private struct Vigiado
    {
        public int Descritor;
        public short Eventos;
        public short Devolvidos;
    }

    private const short Pollin = 1;

    [DllImport(Biblioteca, EntryPoint = "poll", SetLastError = true)]
    private static extern int PollNativo(ref Vigiado vigiado, UIntPtr quantos, int milissegundos);

    /// <summary>Whether the pipe has something to read, or its end, within
    /// <paramref name="milissegundos"/> (0: at once). An interrupted wait says no: the caller looks
    /// again. A closed handle says yes: reading it then tells the end.</summary>
    internal static bool Legivel(SafeHandle tubo, int milissegundos)
    {
        bool preso = false;
        try
        {
            tubo.DangerousAddRef(ref preso);
            var vigiado = new Vigiado { Descritor = (int)tubo.DangerousGetHandle(), Eventos = Pollin };
            return PollNativo(ref vigiado, (UIntPtr)1, milissegundos) > 0;
        }
        catch (ObjectDisposedException)
        {
            return true;
        }
        finally
        {
            if (preso)
            {
                tubo.DangerousRelease();
            }
        }
    }

    /// <summary>lstat (<paramref name="seguirLink"/> false) or stat of a path: 0, or the errno.</summary>
    internal static int Stat(string caminho, bool seguirLink, out Estado estado) =>
        StatxNativo(AtFdcwd, Utf8(caminho), seguirLink ? 0 : AtSymlinkNofollow, StatxBasicStats, out estado) == 0
            ? 0 : Marshal.GetLastWin32Error();

    /// <summary>fstat of an open file.</summary>
    internal static Estado Fstat(SafeFileHandle arquivo)
    {
        bool preso = false;
        try
        {
            arquivo.DangerousAddRef(ref preso);
            int descritor = (int)arquivo.DangerousGetHandle();
            if (StatxNativo(descritor, Utf8(""), AtEmptyPath, StatxBasicStats, out Estado estado) != 0)
            {
                throw new Win32Exception(Marshal.GetLastWin32Error());
            }
            return estado;
        }
        finally
        {
            if (preso)
            {
                arquivo.DangerousRelease();
            }
        }
    }

    internal static uint UsuarioEfetivo() => GeteuidNativo();

    /// <summary>mkdir: 0, or the errno.</summary>
    internal static int CriarPasta(string caminho, uint modo) =>
        MkdirNativo(Utf8(caminho), modo) == 0 ? 0 : Marshal.GetLastWin32Error();

    internal static void MudarModo(string caminho, uint modo)
    {
        if (ChmodNativo(Utf8(caminho), modo) != 0)
        {
            throw new Win32Exception(Marshal.GetLastWin32Error());
        }
    }

    internal static void MudarModo(SafeFileHandle arquivo, uint modo)
    {
        bool preso = false;
        try
        {
            arquivo.DangerousAddRef(ref preso);
            if (FchmodNativo((int)arquivo.DangerousGetHandle(), modo) != 0)
            {
                throw new Win32Exception(Marshal.GetLastWin32Error());
            }
        }
        finally
        {
            if (preso)
            {
                arquivo.DangerousRelease();
            }
        }
    }

    /// <summary>rename: replaces <paramref name="para"/> in one step.</summary>
    internal static void Renomear(string de, string para)
    {
        if (RenameNativo(Utf8(de), Utf8(para)) != 0)
        {
            throw new Win32Exception(Marshal.GetLastWin32Error());
        }
    }

    /// <summary>A path as the C library takes it: UTF-8, ending in NUL.</summary>
    private static byte[] Utf8(string texto)
    {
        var bytes = new byte[Encoding.UTF8.GetByteCount(texto) + 1];
        Encoding.UTF8.GetBytes(texto, 0, texto.Length, bytes, 0);
        return bytes;
    }

    /// <summary>The system's text for an errno.</summary>
    internal static string Motivo(int erro) => new Win32Exception(erro).Message;
}
