#include "protocol/resposta.hpp"
#include "comum/json_valido.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ponte::protocolo {
namespace {

TEST(Resposta, CodificaMembrosNaOrdemSemAusentesNemNull) {
    struct Caso {
        Resposta resposta;
        std::string esperado;
    };
    const std::vector<Caso> casos = {
        {Resposta::sucesso("N", "V"), R"({"ok":true,"nome":"N","versao":"V"})"},
        {Resposta::sucesso(std::nullopt, std::nullopt), R"({"ok":true})"},
        {Resposta::sucesso(std::nullopt, "1.0"), R"({"ok":true,"versao":"1.0"})"},
        {Resposta::sucesso("", std::nullopt), R"({"ok":true,"nome":""})"},
        {Resposta::falha("x"), R"({"ok":false,"erro":"x"})"},
        {Resposta::falha("a\"b\\c\x1b/ã\x7f"), R"({"ok":false,"erro":"a\"b\\c\u001b/ã)"
                                               "\x7f"
                                               R"("})"},
        {Resposta::falha(std::string("\b\t\n\f\r\0\x01\x1f", 8)),
         R"({"ok":false,"erro":"\b\t\n\f\r\u0000\u0001\u001f"})"},
        {resposta_comando_invalido("d"), R"({"ok":false,"erro":"comando inválido: d"})"},
    };
    for (const auto& caso : casos) {
        auto texto = codificar(caso.resposta);
        ASSERT_TRUE(texto.has_value()) << caso.esperado;
        EXPECT_EQ(*texto, caso.esperado);
        EXPECT_TRUE(testes::uma_linha_de_json_valido(*texto)) << *texto;
    }
}

TEST(Resposta, TextoQueNaoEUtf8FalhaEmVezDeSairCorrompido) {
    EXPECT_EQ(codificar(Resposta::falha("\xFF")), std::nullopt);
    EXPECT_EQ(codificar(Resposta::sucesso("ok", "\xC3")), std::nullopt);
}

TEST(Resposta, TextoDeReservaTem52Bytes) {
    EXPECT_EQ(resposta_de_reserva.size(), 52U);
    EXPECT_TRUE(testes::uma_linha_de_json_valido(resposta_de_reserva));
}

}  // namespace
}  // namespace ponte::protocolo
