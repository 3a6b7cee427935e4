#include "texto/posicao.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace ponte::texto {
namespace {

Posicao posicao_byte_a_byte(const std::string& texto) {
    Posicao posicao{1, 0};
    for (const char c : texto) {
        if (c == '\n') {
            ++posicao.linha;
            posicao.coluna = 0;
        } else {
            ++posicao.coluna;
        }
    }
    return posicao;
}

TEST(Posicao, CasosDeFronteira) {
    struct Caso {
        std::string texto;
        std::size_t linha, coluna;
    };
    const Caso casos[] = {
        {"", 1, 0},
        {"abc", 1, 3},
        {"\n", 2, 0},
        {"a\nbc", 2, 2},
        {"\n\n\n", 4, 0},
        {std::string(40, 'x') + "\n" + std::string(17, 'y'), 2, 17},
        {"\n" + std::string(40, 'x'), 2, 40},
        // Bytes next to the line feed's value, and high bytes, must not count as one.
        {"\x0b\x09\x8a\x0a\xff\x0a\x0a\x0a\x8a", 5, 1},
    };
    for (const Caso& caso : casos) {
        const Posicao posicao = posicao_do_fim(caso.texto);
        EXPECT_EQ(posicao.linha, caso.linha) << caso.texto;
        EXPECT_EQ(posicao.coluna, caso.coluna) << caso.texto;
    }
}

// Short texts are read in two overlapping words, or a few bytes repeated: a line feed at every
// place of every short length, among bytes next to its value, is seen.
TEST(Posicao, TextosCurtos) {
    for (const char enchimento : {'\x0B', '\x09', '\x8A', '\0', 'x'}) {
        for (std::size_t tamanho = 0; tamanho <= 17; ++tamanho) {
            for (std::size_t posicao = 0; posicao <= tamanho; ++posicao) {
                std::string texto(tamanho, enchimento);
                if (posicao < tamanho) texto[posicao] = '\n';
                const Posicao esperada = posicao_byte_a_byte(texto);
                const Posicao obtida = posicao_do_fim(texto);
                ASSERT_EQ(obtida.linha, esperada.linha) << tamanho << " " << posicao;
                ASSERT_EQ(obtida.coluna, esperada.coluna) << tamanho << " " << posicao;
            }
        }
    }
}

// Line feeds at every offset of the words and their tails, many or few: the word-at-a-time
// count and search agree with a plain walk.
TEST(Posicao, ConcordaComAContagemByteAByte) {
    std::uint32_t semente = 2024;
    for (int vez = 0; vez < 3000; ++vez) {
        semente = semente * 1103515245U + 12345U;
        const std::size_t tamanho = (semente >> 8U) % 90;
        const std::uint32_t densidade = 1 + (semente >> 20U) % 12;
        std::string texto;
        for (std::size_t i = 0; i < tamanho; ++i) {
            semente = semente * 1103515245U + 12345U;
            texto += (semente >> 16U) % densidade == 0 ? '\n' : static_cast<char>((semente >> 8U) & 0xFFU);
        }
        const Posicao esperada = posicao_byte_a_byte(texto);
        const Posicao obtida = posicao_do_fim(texto);
        ASSERT_EQ(obtida.linha, esperada.linha) << vez;
        ASSERT_EQ(obtida.coluna, esperada.coluna) << vez;
    }
}

}  // namespace
}  // namespace ponte::texto
