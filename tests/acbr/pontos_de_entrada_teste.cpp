// The library's entry points are called through PontoDeEntrada. On 32-bit Windows the library
// comes as a Cdecl or a StdCall build under the same names, and the call must leave the stack
// as it found it either way; elsewhere there is one convention.
#include "acbr/pontos_de_entrada.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::acbr {
namespace {

// What a text entry point does with each of its three arguments, so that an argument in the
// wrong place shows: the first character of the handle's text goes into the buffer, and the
// size becomes the handle's length.
std::int32_t ler(void* handle, char* texto, std::int32_t* tamanho) {
    const auto& origem = *static_cast<const std::string*>(handle);
    texto[0] = origem.front();
    *tamanho = static_cast<std::int32_t>(origem.size());
    return 7;
}
std::int32_t medir(void* handle) { return static_cast<std::int32_t>(static_cast<const std::string*>(handle)->size()); }

#if defined(_WIN32) && defined(__i386__)
// The same bodies, popping their own arguments as the StdCall build's entry points do.
__attribute__((stdcall)) std::int32_t ler_stdcall(void* handle, char* texto, std::int32_t* tamanho) {
    return ler(handle, texto, tamanho);
}
__attribute__((stdcall)) std::int32_t medir_stdcall(void* handle) { return medir(handle); }
#endif

struct Convencao {
    const char* nome;
    void* ler;
    void* medir;
};

std::vector<Convencao> convencoes() {
    std::vector<Convencao> lista = {{"cdecl", reinterpret_cast<void*>(&ler), reinterpret_cast<void*>(&medir)}};
#if defined(_WIN32) && defined(__i386__)
    lista.push_back({"stdcall", reinterpret_cast<void*>(&ler_stdcall), reinterpret_cast<void*>(&medir_stdcall)});
#endif
    return lista;
}

void PrintTo(const Convencao& convencao, std::ostream* saida) { *saida << convencao.nome; }

class PontoDeEntradaEmCadaConvencao : public testing::TestWithParam<Convencao> {};

// Many calls in a row with live locals: a stack pointer left off by the arguments' size after
// each call would soon overwrite this frame or return into nowhere.
TEST_P(PontoDeEntradaEmCadaConvencao, ArgumentosResultadoEPilha) {
    const FuncaoTexto ler_texto(GetParam().ler);
    const FuncaoFinalizar medir_texto(GetParam().medir);
    std::string origem = "ACBr";
    const std::array<std::uint32_t, 4> sentinela = {0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0xFEEDFACE};
    const auto copia = sentinela;
    for (int volta = 0; volta < 1000; ++volta) {
        std::array<char, 4> buffer{};
        std::int32_t tamanho = -1;
        ASSERT_EQ(ler_texto(&origem, buffer.data(), &tamanho), 7) << "call " << volta;
        ASSERT_EQ(buffer[0], 'A');
        ASSERT_EQ(tamanho, 4);
        ASSERT_EQ(medir_texto(&origem), 4) << "call " << volta;
    }
    EXPECT_EQ(sentinela, copia);
}

INSTANTIATE_TEST_SUITE_P(Convencoes, PontoDeEntradaEmCadaConvencao, testing::ValuesIn(convencoes()),
                         [](const testing::TestParamInfo<Convencao>& info) { return std::string(info.param.nome); });

}  // namespace
}  // namespace ponte::acbr
