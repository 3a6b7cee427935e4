#include "texto/varredura.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace ponte::texto {
namespace {

const char* primeiro_especial_byte_a_byte(const char* p, const char* fim) {
    for (; p < fim; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20U || byte == '"' || byte == '\\') return p;
    }
    return p;
}

// Every byte value at every position of the first words and the tail, among fillers that sit
// next to the flagged values (a borrow or a near miss would show), agrees with the plain scan.
TEST(Varredura, ConcordaComAVarreduraByteAByte) {
    const std::array<unsigned char, 8> enchimentos = {0x20, 0x21, 0x23, 0x5B, 0x5D, 0x7F, 0x80, 0xFF};
    for (unsigned char enchimento : enchimentos) {
        for (std::size_t posicao = 0; posicao < 19; ++posicao) {
            for (int valor = 0; valor < 256; ++valor) {
                std::string texto(19, static_cast<char>(enchimento));
                texto[posicao] = static_cast<char>(valor);
                const char* inicio = texto.data();
                const char* fim = inicio + texto.size();
                ASSERT_EQ(primeiro_especial_json(inicio, fim), primeiro_especial_byte_a_byte(inicio, fim))
                    << "filler " << int{enchimento} << ", byte " << valor << " at " << posicao;
            }
        }
    }
}

TEST(Varredura, OPrimeiroDeVariosNaMesmaPalavra) {
    const std::string texto =
        "ab\\c\"d\x01"
        "efgh\"";
    EXPECT_EQ(primeiro_especial_json(texto.data(), texto.data() + texto.size()) - texto.data(), 2);
    const std::string sem = "abcdefghijklmnopq";
    EXPECT_EQ(primeiro_especial_json(sem.data(), sem.data() + sem.size()), sem.data() + sem.size());
}

}  // namespace
}  // namespace ponte::texto
