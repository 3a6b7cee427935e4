// Only in 32-bit Windows builds: the thunk of pontos_de_entrada.hpp. A Cdecl callee leaves its
// arguments on the stack and a StdCall one pops them, so the stack pointer after the call is not
// known. The thunk keeps its own frame pointer in EBP, which both conventions preserve, and
// rebuilds ESP from it afterwards; the arguments are copied to a 16-byte aligned block, as
// GCC-built callees may assume.
#include "acbr/pontos_de_entrada.hpp"

extern "C" __attribute__((naked)) std::int32_t ponte_chamar_em_qualquer_convencao(void*, const void* const*,
                                                                                  std::uint32_t) {
    __asm__(
        "pushl %ebp\n\t"
        "movl %esp, %ebp\n\t"
        "pushl %esi\n\t"
        "pushl %edi\n\t"
        "movl 16(%ebp), %ecx\n\t"  // quantos
        "leal 0(,%ecx,4), %eax\n\t"
        "subl %eax, %esp\n\t"
        "andl $-16, %esp\n\t"
        "movl 12(%ebp), %esi\n\t"  // argumentos, copied in order to the new top of the stack
        "movl %esp, %edi\n\t"
        "cld\n\t"
        "rep movsl\n\t"
        "call *8(%ebp)\n\t"  // funcao; its result stays in EAX
        "leal -8(%ebp), %esp\n\t"
        "popl %edi\n\t"
        "popl %esi\n\t"
        "popl %ebp\n\t"
        "ret\n\t");
}
