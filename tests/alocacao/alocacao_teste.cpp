// Once warm, the loop answers invalid commands without a single heap allocation: the decoder
// writes each diagnostic into memory it keeps, and the answer goes straight into the loop's
// buffer. Counted, not timed.
#include "alocacao/contagem.hpp"
#include "laco/atendimento.hpp"
#include "laco/laco.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace ponte::testes {
namespace {

// One line of each kind of diagnostic, long names and escapes included, none a version query.
constexpr std::array<std::string_view, 28> invalidas = {
    R"({"cmd":"ajuda"})",
    R"({})",
    R"(["versao",1])",
    R"({"cmd":1})",
    R"({"cmd":-2.5e-3})",
    R"({"cmd":123456789012345678901234567890})",
    R"({"cmd":true})",
    R"({"cmd":null})",
    R"({"cmd":[1]})",
    R"({"cmd":{"a":1}})",
    R"("vers\u00e3o \"citada\"\t\u0000\u200b")",
    R"(-1e-400)",
    R"({"cmd":"um nome de variante longo o bastante para não caber em string curta, com \"aspas\" e \\ barras e ção"})",
    R"({"cmd":"versao","cmd":"versao"})",
    R"({"cmd":"versao" "a":1})",
    R"({"cmd":"versao",})",
    R"({"a":[1,2,{"b":[null,true,false,"x\ny"]}],"cmd":"\u0041\ud83d\ude00"})",
    R"({"x":[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]],"cmd":"ajuda"})",
    R"({"a":1e400,"cmd":"versao"})",
    R"({"a":01})",
    R"({"a":"\x"})",
    "{\"a\":\"\x01\"}",
    R"({"a":"\udc00"})",
    R"({"a":"\ud800x"})",
    R"({"cmd":"versao"} x)",
    R"({cmd:"versao"})",
    R"({"cmd":"vers)",
    R"([["versao"]])",
};

// Gives the text in reads of at most 4 KiB; copies, allocates nothing.
class FonteFixa final : public laco::FonteDeBytes {
public:
    explicit FonteFixa(std::string_view texto) : resto_(texto) {}
    laco::Leitura ler(std::span<char> destino) override {
        if (resto_.empty()) return {laco::EstadoDaLeitura::fim};
        const std::size_t n = std::min({destino.size(), resto_.size(), std::size_t{4096}});
        std::memcpy(destino.data(), resto_.data(), n);
        resto_.remove_prefix(n);
        return {laco::EstadoDaLeitura::dados, n};
    }

private:
    std::string_view resto_;
};

// Checks each answer against the one expected, without allocating.
class SaidaConferida final : public laco::SaidaDeBytes {
public:
    explicit SaidaConferida(const std::vector<std::string>& esperadas) : esperadas_(esperadas) {}
    laco::Escrita escrever(std::string_view bytes) override {
        const std::string& esperada = esperadas_[escritas % esperadas_.size()];
        if (bytes.substr(0, bytes.size() - 1) != esperada || bytes.back() != '\n') ++diferentes;
        ++escritas;
        return laco::Escrita::entregue;
    }
    std::size_t escritas = 0;
    std::size_t diferentes = 0;

private:
    const std::vector<std::string>& esperadas_;
};

protocolo::Resposta versao_inesperada() { return protocolo::Resposta::falha("the version query was called"); }

TEST(Alocacao, LinhasInvalidasNaoAlocamDepoisDeAquecidas) {
    constexpr std::size_t aquecimento = 10 * invalidas.size() * 100;  // past the line buffer's growth too
    constexpr std::size_t contadas = 10'000;
    std::vector<std::string> esperadas;
    std::string entrada;
    {
        laco::Atendente atendente(&versao_inesperada);
        for (const std::string_view linha : invalidas) {
            texto::Acumulador resposta;
            atendente.atender(linha, resposta);
            ASSERT_EQ(resposta.texto().rfind(R"({"ok":false,"erro":"comando inválido: )", 0), 0U) << linha;
            esperadas.emplace_back(resposta.texto());
        }
    }
    for (std::size_t i = 0; i < aquecimento + contadas; ++i) entrada.append(invalidas[i % invalidas.size()]) += '\n';

    FonteFixa fonte(entrada);
    SaidaConferida saida(esperadas);
    laco::Atendente atendente(&versao_inesperada);
    std::size_t linhas = 0;
    std::size_t antes = 0;
    laco::executar_laco(fonte, saida, [&](std::string_view comando, texto::Acumulador& resposta) {
        if (linhas++ == aquecimento) antes = alocacoes_feitas();
        atendente.atender(comando, resposta, protocolo::Quebras::nenhuma);
    });
    const std::size_t durante = alocacoes_feitas() - antes;

    EXPECT_EQ(linhas, aquecimento + contadas);
    EXPECT_EQ(saida.escritas, aquecimento + contadas);
    EXPECT_EQ(saida.diferentes, 0U);
    EXPECT_EQ(durante, 0U) << "heap allocations over " << contadas << " invalid lines"
                           << (malloc_contado() ? " (operator new and malloc)" : " (operator new)");
    RecordProperty("malloc_contado", malloc_contado() ? "yes" : "no");
}

// The counting itself works: a string too long for its own storage is one allocation.
TEST(Alocacao, AContagemVeUmaAlocacao) {
    const std::size_t antes = alocacoes_feitas();
    std::string longa(1000, 'x');
    EXPECT_GE(alocacoes_feitas() - antes, 1U);
    EXPECT_EQ(longa.size(), 1000U);
}

}  // namespace
}  // namespace ponte::testes
