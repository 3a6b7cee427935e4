namespace AcbrPonte;

/// <summary>The word size of the bridge to run from the package.</summary>
public enum Arquitetura
{
    /// <summary>The 64-bit bridge (<c>linux-x64</c>, <c>win-x64</c>).</summary>
    X64,

    /// <summary>The 32-bit bridge (<c>linux-x86</c>, <c>win-x86</c>): on a 64-bit host, so that
    /// it can load a 32-bit build of the library.</summary>
    X86,
}
