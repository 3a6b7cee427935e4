#include "texto/varredura.hpp"

#include <gtest/gtest.h>

#include <algorithm>
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
                ASSERT_EQ(detalhe::primeiro_especial_em_palavras<false>(inicio, inicio, fim),
                          primeiro_especial_byte_a_byte<false>(inicio, fim))
                    << onde();
                ASSERT_EQ(primeiro_especial_json_ou_nao_ascii(inicio, fim),
                          primeiro_especial_byte_a_byte<true>(inicio, fim))
                    << onde();
                ASSERT_EQ(detalhe::primeiro_especial_em_palavras<true>(inicio, inicio, fim),
                          primeiro_especial_byte_a_byte<true>(inicio, fim))
                    << onde();
            }
        }
    }
}

// A scan that starts inside a text reads its last block back from the end, over bytes before its
// start: those must never be reported, whatever they hold, nor a byte of the text missed. Every
// length up to past two blocks, every start, one flagged value at every place before or after
// the start, through each scan the machine uses and the portable one.
TEST(Varredura, OBlocoFinalLidoParaTrasIgnoraOQueVemAntesDoInicio) {
    for (const unsigned char marcado : {'"', '\\', '\x01', '\x1F', '\x80', '\xFF'}) {
        for (std::size_t tamanho = 1; tamanho <= 35; ++tamanho) {
            for (std::size_t inicio = 0; inicio <= tamanho; ++inicio) {
                for (std::size_t posicao = 0; posicao <= tamanho; ++posicao) {
                    std::string texto(tamanho, 'a');
                    if (posicao < tamanho) texto[posicao] = static_cast<char>(marcado);
                    const char* legivel = texto.data();
                    const char* p = legivel + inicio;
                    const char* fim = legivel + tamanho;
                    const auto onde = [&] {
                        return "byte " + std::to_string(marcado) + ", length " + std::to_string(tamanho) + ", start " +
                               std::to_string(inicio) + ", at " + std::to_string(posicao);
                    };
                    ASSERT_EQ(primeiro_especial_json(legivel, p, fim), primeiro_especial_byte_a_byte<false>(p, fim))
                        << onde();
                    ASSERT_EQ(primeiro_especial_json_ou_nao_ascii(legivel, p, fim),
                              primeiro_especial_byte_a_byte<true>(p, fim))
                        << onde();
                    ASSERT_EQ(detalhe::primeiro_especial_em_palavras<false>(legivel, p, fim),
                              primeiro_especial_byte_a_byte<false>(p, fim))
                        << onde();
                    ASSERT_EQ(detalhe::primeiro_especial_em_palavras<true>(legivel, p, fim),
                              primeiro_especial_byte_a_byte<true>(p, fim))
                        << onde();
                }
            }
        }
    }
}

// Short texts are tested in two overlapping words, or fewer bytes repeated: every length up to
// a block and a bit, every byte value at every place, among fillers next to the flagged values.
TEST(Varredura, TextoCurtoAsciiSemEscapes) {
    for (const unsigned char enchimento : {'a', ' ', '!', '#', '[', ']', '\x7F'}) {
        for (std::size_t tamanho = 0; tamanho <= 20; ++tamanho) {
            const std::string limpo(tamanho, static_cast<char>(enchimento));
            EXPECT_TRUE(ascii_sem_escapes(limpo)) << tamanho;
            for (std::size_t posicao = 0; posicao < tamanho; ++posicao) {
                for (int valor = 0; valor < 256; ++valor) {
                    std::string texto = limpo;
                    texto[posicao] = static_cast<char>(valor);
                    const char* fim = texto.data() + tamanho;
                    ASSERT_EQ(ascii_sem_escapes(texto), primeiro_especial_byte_a_byte<true>(texto.data(), fim) == fim)
                        << "filler " << int{enchimento} << ", byte " << valor << " at " << posicao << " of " << tamanho;
                }
            }
        }
    }
}

TEST(Varredura, ClassesJson) {
    for (int valor = 0; valor < 256; ++valor) {
        const char c = static_cast<char>(valor);
        const ClasseJson esperada = primeiro_especial_byte_a_byte<false>(&c, &c + 1) == &c ? ClasseJson::especial
                                    : valor >= 0x80                                        ? ClasseJson::nao_ascii
                                                                                           : ClasseJson::ascii;
        EXPECT_EQ(classe_json(c), esperada) << valor;
    }
}

TEST(Varredura, PrimeiraQuebra) {
    for (std::size_t tamanho = 0; tamanho <= 40; ++tamanho) {
        for (std::size_t posicao = 0; posicao <= tamanho; ++posicao) {
            std::string texto(tamanho, '\x8A');  // a line feed's value with the high bit set
            if (posicao < tamanho) texto[posicao] = '\n';
            if (posicao + 1 < tamanho) texto[posicao + 1] = '\n';
            const char* fim = texto.data() + tamanho;
            EXPECT_EQ(primeira_quebra(texto.data(), fim), posicao < tamanho ? texto.data() + posicao : nullptr)
                << tamanho << " " << posicao;
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

// Started inside a text, with the bytes before the start the same or not, and ended at every
// place: the last block read back from the end counts neither what is before the start nor
// what is past the end.
TEST(Varredura, FimDaRepeticaoDentroDeUmTexto) {
    for (const char antes : {'[', 'x'}) {
        for (std::size_t inicio = 0; inicio <= 20; ++inicio) {
            for (std::size_t comprimento = 0; comprimento <= 20; ++comprimento) {
                const std::string texto =
                    std::string(inicio, antes) + std::string(comprimento, '[') + "x[[[[[[[[[[[[[[[[[";
                const char* legivel = texto.data();
                const char* p = legivel + inicio;
                for (std::size_t fim = inicio; fim <= texto.size(); ++fim) {
                    const char* esperado = legivel + std::min(fim, inicio + comprimento);
                    ASSERT_EQ(fim_da_repeticao(legivel, p, legivel + fim, '['), esperado)
                        << antes << " " << inicio << " " << comprimento << " " << fim;
                }
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
