#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using ponte::texto::aparar_espaco_branco;

constexpr char32_t espacos_brancos[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
    0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
};

std::string utf8(char32_t ponto) {
    std::string texto;
    ponte::texto::anexar_utf8(texto, ponto);
    return texto;
}

TEST(EspacoBranco, ExatamenteOsVinteECinco) {
    int contados = 0;
    for (char32_t ponto = 0; ponto <= 0x10FFFF; ++ponto) {
        if (ponte::texto::e_espaco_branco(ponto)) {
            ++contados;
        }
    }
    EXPECT_EQ(contados, 25);
    for (char32_t ponto : espacos_brancos) {
        EXPECT_TRUE(ponte::texto::e_espaco_branco(ponto)) << std::hex << static_cast<unsigned long>(ponto);
    }
}

// The ends are first settled byte by byte for ASCII: every ASCII byte at either end.
TEST(EspacoBranco, CadaByteAsciiNasPontas) {
    for (int valor = 0; valor < 0x80; ++valor) {
        const char c = static_cast<char>(valor);
        const bool branco = ponte::texto::e_espaco_branco(static_cast<char32_t>(valor));
        EXPECT_EQ(aparar_espaco_branco(std::string(1, c)), branco ? "" : std::string(1, c)) << valor;
        EXPECT_EQ(aparar_espaco_branco(std::string(1, c) + "a"), branco ? "a" : std::string(1, c) + "a") << valor;
        EXPECT_EQ(aparar_espaco_branco("a" + std::string(1, c)), branco ? "a" : "a" + std::string(1, c)) << valor;
    }
}

TEST(EspacoBranco, CadaUmSaiDasDuasPontasEFicaNoMeio) {
    for (char32_t ponto : espacos_brancos) {
        const std::string branco = utf8(ponto);
        const std::string texto = branco + branco + "a" + branco + "b" + branco;
        EXPECT_EQ(aparar_espaco_branco(texto), "a" + branco + "b") << std::hex << static_cast<unsigned long>(ponto);
    }
}

TEST(EspacoBranco, TabelaDeAparar) {
    struct Caso {
        const char* nome;
        std::string entrada;
        std::string esperado;
    };
    using namespace std::string_literals;
    const Caso casos[] = {
        {"vazio", "", ""},
        {"so brancos", " \t\xC2\xA0\xE3\x80\x80\r\n", ""},
        {"BOM fica", "\xEF\xBB\xBF{} ", "\xEF\xBB\xBF{}"},
        {"U+200B fica", " \xE2\x80\x8B", "\xE2\x80\x8B"},
        {"U+180E fica", "\xE1\xA0\x8E ", "\xE1\xA0\x8E"},
        {"U+0000 fica", " \x00 "s, "\x00"s},
        {"nao-branco de tres bytes no fim", "x\xE2\x82\xAC", "x\xE2\x82\xAC"},
    };
    for (const auto& caso : casos) {
        EXPECT_EQ(aparar_espaco_branco(caso.entrada), caso.esperado) << caso.nome;
    }
}

TEST(EspacoBranco, DevolveUmaVistaDoArgumento) {
    const std::string texto = "  {\"cmd\":\"versao\"}\r\n";
    const std::string_view aparado = aparar_espaco_branco(texto);
    EXPECT_EQ(aparado.data(), texto.data() + 2);
    EXPECT_EQ(aparado.size(), 16U);
}

}  // namespace
