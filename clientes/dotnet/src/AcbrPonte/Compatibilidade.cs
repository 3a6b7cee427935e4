#if NETSTANDARD2_0
using System.ComponentModel;

namespace System.Runtime.CompilerServices
{
    /// <summary>What the compiler needs for <c>init</c> and records on netstandard2.0.</summary>
    [EditorBrowsable(EditorBrowsableState.Never)]
    internal static class IsExternalInit
    {
    }
}
#endif
