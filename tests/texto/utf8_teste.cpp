#include "texto/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;
using ponte::texto::decodificar_utf8_leniente;
using ponte::texto::utf8_valido;

struct CasoValidade {
    const char* nome;
    std::string bytes;
    bool valido;
};

TEST(Utf8Valido, TabelaDeFronteiras) {
    const CasoValidade casos[] = {
        {"vazio", "", true},
        {"U+0000", "\x00"s, true},
        {"ASCII", "abc", true},
        {"U+0080 menor de dois bytes", "\xC2\x80", true},
        {"U+07FF maior de dois bytes", "\xDF\xBF", true},
        {"U+0800 menor de tres bytes", "\xE0\xA0\x80", true},
        {"U+D7FF antes dos substitutos", "\xED\x9F\xBF", true},
        {"U+E000 depois dos substitutos", "\xEE\x80\x80", true},
        {"U+FFFF", "\xEF\xBF\xBF", true},
        {"U+10000 menor de quatro bytes", "\xF0\x90\x80\x80", true},
        {"U+10FFFF maximo", "\xF4\x8F\xBF\xBF", true},
        {"longo C0 80", "\xC0\x80", false},
        {"longo C1 BF", "\xC1\xBF", false},
        {"longo E0 80 80", "\xE0\x80\x80", false},
        {"longo E0 9F BF", "\xE0\x9F\xBF", false},
        {"longo F0 80 80 80", "\xF0\x80\x80\x80", false},
        {"longo F0 8F BF BF", "\xF0\x8F\xBF\xBF", false},
        {"substituto ED A0 80", "\xED\xA0\x80", false},
        {"substituto ED BF BF", "\xED\xBF\xBF", false},
        {"acima de U+10FFFF F4 90 80 80", "\xF4\x90\x80\x80", false},
        {"F5", "\xF5\x80\x80\x80", false},
        {"FF", "\xFF", false},
        {"continuacao isolada", "\x80", false},
        {"continuacao depois de ASCII", "a\xBF", false},
        {"truncado de dois", "\xC3", false},
        {"truncado de tres", "\xE2\x82", false},
        {"truncado de quatro", "\xF0\x9F\x98", false},
        {"truncado seguido de ASCII",
         "\xE2\x82"
         "a",
         false},
        {"continuacao a mais", "\xC3\xA3\x80", false},
    };
    for (const auto& caso : casos) {
        EXPECT_EQ(utf8_valido(caso.bytes), caso.valido) << caso.nome;
    }
}

// The sixteen- and eight-byte ASCII skips must not step over a bad byte at any alignment, nor
// over a multi-byte character that starts inside or ends a block.
TEST(Utf8Valido, ByteRuimEmQualquerPosicaoDeUmTextoAscii) {
    for (std::size_t tamanho : {1U, 2U, 3U, 4U, 5U, 6U, 7U, 8U, 9U, 12U, 15U, 16U, 17U, 24U, 31U, 64U, 1000U}) {
        for (std::size_t posicao = 0; posicao < tamanho; ++posicao) {
            std::string texto(tamanho, 'x');
            EXPECT_TRUE(utf8_valido(texto));
            texto[posicao] = '\xFF';
            EXPECT_FALSE(utf8_valido(texto)) << "tamanho " << tamanho << " posicao " << posicao;
            texto[posicao] = '\x80';
            EXPECT_FALSE(utf8_valido(texto)) << "tamanho " << tamanho << " posicao " << posicao;
        }
    }
    for (std::size_t posicao = 0; posicao < 40; ++posicao) {
        std::string texto(40, 'x');
        texto.insert(posicao, "\xF0\x9F\x98\x80");
        EXPECT_TRUE(utf8_valido(texto)) << posicao;
        texto.insert(posicao, "\xED\xA0\x80");
        EXPECT_FALSE(utf8_valido(texto)) << posicao;
    }
}

struct CasoLeniente {
    const char* nome;
    std::string bytes;
    std::string esperado;
};

TEST(DecodificacaoLeniente, SubpartesMaximas) {
    const std::string fffd = "\xEF\xBF\xBD";
    const CasoLeniente casos[] = {
        {"valido intacto", "a\xC3\xA3\xF0\x9F\x98\x80", "a\xC3\xA3\xF0\x9F\x98\x80"},
        {"NUL fica",
         "a\x00"
         "b"s,
         "a\x00"
         "b"s},
        {"E0 80 da dois", "\xE0\x80", fffd + fffd},
        {"truncado de quatro e A",
         "\xF0\x9F\x98"
         "A",
         fffd + "A"},
        {"C0 AF da dois", "\xC0\xAF", fffd + fffd},
        {"ED A0 80 da tres", "\xED\xA0\x80", fffd + fffd + fffd},
        {"F4 90 80 80 da quatro", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"truncado de tres no fim", "a\xE2\x82", "a" + fffd},
        {"prefixo interrompido por lider", "\xE2\x82\xE2\x82\xAC", fffd + "\xE2\x82\xAC"},
        {"continuacoes soltas", "\x80\xBF", fffd + fffd},
        {"Latin-1", "S\xE3o", "S" + fffd + "o"},
        {"F5 e FF", "\xF5\xFF", fffd + fffd},
    };
    for (const auto& caso : casos) {
        const std::string obtido = decodificar_utf8_leniente(caso.bytes);
        EXPECT_EQ(obtido, caso.esperado) << caso.nome;
        EXPECT_TRUE(utf8_valido(obtido)) << caso.nome;
    }
}

TEST(PontosDeCodigo, PrimeiroUltimoEAnexar) {
    struct Caso {
        char32_t ponto;
        std::string bytes;
    };
    const Caso casos[] = {
        {U'\0', "\x00"s},
        {U'a', "a"},
        {U'\u00E3', "\xC3\xA3"},
        {U'\u3000', "\xE3\x80\x80"},
        {U'\U0001F600', "\xF0\x9F\x98\x80"},
        {U'\U0010FFFF', "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& caso : casos) {
        std::string escrito;
        ponte::texto::anexar_utf8(escrito, caso.ponto);
        EXPECT_EQ(escrito, caso.bytes);
        const auto primeiro = ponte::texto::primeiro_ponto(caso.bytes + "z");
        EXPECT_EQ(primeiro.valor, caso.ponto);
        EXPECT_EQ(primeiro.comprimento, caso.bytes.size());
        const auto ultimo = ponte::texto::ultimo_ponto("z" + caso.bytes);
        EXPECT_EQ(ultimo.valor, caso.ponto);
        EXPECT_EQ(ultimo.comprimento, caso.bytes.size());
    }
    // Values that are not scalar values must not produce ill-formed output.
    for (char32_t invalido : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}}) {
        std::string escrito;
        ponte::texto::anexar_utf8(escrito, invalido);
        EXPECT_EQ(escrito, "\xEF\xBF\xBD");
    }
}

}  // namespace
