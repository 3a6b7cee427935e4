#include "texto/varredura.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace ponte::texto {
namespace {

template <bool nao_ascii>
const char* primeiro_especial_byte_a_byte(const char* p, const char* fim) {
    for (; p < fim; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20U || byte == '"' || byte == '\\' || (nao_ascii && byte >= 0x80U)) return p;
    }
    return p;
}

// Every byte value at every position of the first blocks, the words after them and the tail,
// among fillers that sit next to the flagged values (a borrow or a near miss would show), agrees
// with the plain scan: each scan the machine uses, and the portable one on its own, which on
// x86-64 otherwise only sees the last few bytes. A second flagged byte further on must not hide
// the first.
TEST(Varredura, ConcordaComAVarreduraByteAByte) {
    const std::array<unsigned char, 9> enchimentos = {0x20, 0x21, 0x23, 0x5B, 0x5D, 0x7F, 0x80, 0xA0, 0xFF};
    for (unsigned char enchimento : enchimentos) {
        for (std::size_t posicao = 0; posicao < 43; ++posicao) {
            for (int valor = 0; valor < 256; ++valor) {
                std::string texto(43, static_cast<char>(enchimento));
                texto[posicao] = static_cast<char>(valor);
                if (posicao + 3 < texto.size()) texto[posicao + 3] = '"';
                const char* inicio = texto.data();
                const char* fim = inicio + texto.size();
                const auto onde = [&] {
                    return "filler " + std::to_string(enchimento) + ", byte " + std::to_string(valor) + " at " +
                           std::to_string(posicao);
                };
                ASSERT_EQ(primeiro_especial_json(inicio, fim), primeiro_especial_byte_a_byte<false>(inicio, fim))
                    << onde();
                ASSERT_EQ(detalhe::primeiro_especial_em_palavras<false>(inicio, fim),
                          primeiro_especial_byte_a_byte<false>(inicio, fim))
                    << onde();
                ASSERT_EQ(primeiro_especial_json_ou_nao_ascii(inicio, fim),
                          primeiro_especial_byte_a_byte<true>(inicio, fim))
                    << onde();
                ASSERT_EQ(detalhe::primeiro_especial_em_palavras<true>(inicio, fim),
                          primeiro_especial_byte_a_byte<true>(inicio, fim))
                    << onde();
            }
        }
    }
}

// Runs of a byte, of every length across the blocks, ended by each other byte value or by the end.
TEST(Varredura, FimDaRepeticao) {
    for (std::size_t comprimento = 0; comprimento < 40; ++comprimento) {
        for (int depois = 0; depois < 256; depois += 17) {
            std::string texto(comprimento, '[');
            if (depois != '[') texto += static_cast<char>(depois);
            texto += "[[[";
            const char* inicio = texto.data();
            EXPECT_EQ(fim_da_repeticao(inicio, inicio + texto.size(), '['),
                      inicio + (depois == '[' ? texto.size() : comprimento))
                << comprimento << " then " << depois;
            EXPECT_EQ(fim_da_repeticao(inicio, inicio + comprimento, '['), inicio + comprimento) << comprimento;
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
