#include "protocolo/resposta.hpp"
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

// The invalid-command answer, written straight into a buffer that already holds a line: the same
// bytes as the answer built as a value, and the same whether or not the diagnostic is declared
// free of escapes when it is; escaped, or the fallback, when it is not.
TEST(Resposta, ComandoInvalidoAnexadoComoOCodificado) {
    const std::string longo(300, 'x');
    for (const std::string_view diagnostico :
         {std::string_view(), std::string_view("d"),
          std::string_view("unknown variant `ajuda`, expected `versao` at line 1 column 14"),
          std::string_view(longo)}) {
        for (const Conteudo conteudo : {Conteudo::qualquer, Conteudo::ascii_sem_escapes}) {
            texto::Acumulador saida;
            saida.anexar("antes\n");
            anexar_resposta_comando_invalido(saida, diagnostico, conteudo);
            EXPECT_EQ(saida.texto(), "antes\n" + *codificar(resposta_comando_invalido(diagnostico))) << diagnostico;
        }
    }
    const std::string com_quebra = std::string(40, 'x') + "\n";
    for (const std::string_view diagnostico :
         {std::string_view("a\"b\\c\x01"), std::string_view("versão"), std::string_view(com_quebra)}) {
        texto::Acumulador saida;
        anexar_resposta_comando_invalido(saida, diagnostico);
        EXPECT_EQ(saida.texto(), *codificar(resposta_comando_invalido(diagnostico))) << diagnostico;
    }
    texto::Acumulador saida;
    saida.anexar("antes\n");
    anexar_resposta_comando_invalido(saida, "a\xFF");
    EXPECT_EQ(saida.texto(), "antes\n" + std::string(resposta_de_reserva));
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
