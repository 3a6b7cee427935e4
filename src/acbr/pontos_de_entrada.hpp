#pragma once

#include <cstdint>
#include <type_traits>

// ACBrLib NFe's entry points as the bridge calls them (the handle-based "MT" build).
namespace ponte::acbr {

#if defined(_WIN32) && defined(__i386__)
// Calls `funcao` with `quantos` 32-bit arguments and gives what it returns in EAX, whether it
// pops its arguments itself (StdCall) or leaves that to the caller (Cdecl): chamada_x86_windows.cpp.
extern "C" std::int32_t ponte_chamar_em_qualquer_convencao(void* funcao, const void* const* argumentos,
                                                           std::uint32_t quantos);
#endif

// An entry point at the address the loader gave, called like a function. On 32-bit Windows the
// library is published in a Cdecl and a StdCall build that export the same undecorated names, so
// the bridge cannot know who pops the arguments; there every call goes through a thunk that
// works either way. Elsewhere there is one convention and the call is direct.
template <typename Assinatura>
class PontoDeEntrada;

template <typename... Argumentos>
class PontoDeEntrada<std::int32_t(Argumentos...)> {
    static_assert((std::is_pointer_v<Argumentos> && ...), "the thunk passes pointers only");

public:
    explicit PontoDeEntrada(void* endereco) noexcept : endereco_(endereco) {}

    std::int32_t operator()(Argumentos... argumentos) const {
#if defined(_WIN32) && defined(__i386__)
        const void* const palavras[] = {argumentos...};
        return ponte_chamar_em_qualquer_convencao(endereco_, palavras, sizeof...(Argumentos));
#else
        return reinterpret_cast<std::int32_t (*)(Argumentos...)>(endereco_)(argumentos...);
#endif
    }

private:
    void* endereco_;
};

using FuncaoInicializar = PontoDeEntrada<std::int32_t(void** handle, const char* eArqConfig, const char* eChaveCrypt)>;
using FuncaoFinalizar = PontoDeEntrada<std::int32_t(void* handle)>;
// NFE_Nome and NFE_Versao: the text goes into the buffer, its length into the size.
using FuncaoTexto = PontoDeEntrada<std::int32_t(void* handle, char* texto, std::int32_t* tamanho)>;

}  // namespace ponte::acbr
