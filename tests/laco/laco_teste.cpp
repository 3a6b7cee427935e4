#include "laco/laco.hpp"
#include "laco/divisor_de_linhas.hpp"
#include "memoria.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::testes {
namespace {

// Appends, so that an answer buffer the loop failed to empty would show in the next answer.
void entre_colchetes(std::string_view comando, texto::Acumulador& resposta) {
    resposta.anexar('[');
    resposta.anexar(comando);
    resposta.anexar(']');
}

std::string servir(const std::string& entrada, std::size_t fatia) {
    FonteDeMemoria fonte(entrada, fatia);
    SaidaDeMemoria saida;
    laco::executar_laco(fonte, saida, entre_colchetes);
    return saida.texto;
}

struct Caso {
    const char* nome;
    std::string entrada;
    std::string saida;
};
// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Caso& linha, std::ostream* saida) { *saida << linha.nome; }

class Servico : public testing::TestWithParam<Caso> {};

// The same output whether the bytes arrive one at a time, in odd slices or all at once.
TEST_P(Servico, SaidaNaoDependeDoFatiamento) {
    for (const std::size_t fatia :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, GetParam().entrada.size() + 1})
        EXPECT_EQ(servir(GetParam().entrada, fatia), GetParam().saida) << "slices of " << fatia;
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Laco, Servico,
    testing::Values(
        Caso{"vazia", "", ""}, Caso{"lf", "a\nbc\n", "[a]\n[bc]\n"}, Caso{"cr_lf", "a\r\nbc\r\n", "[a]\n[bc]\n"},
        Caso{"cr_no_meio", "a\rb\nc\r\rd\r\n", "[a\rb]\n[c\r\rd]\n"}, Caso{"ultima_sem_lf", "a\nb", "[a]\n[b]\n"},
        Caso{"brancas",
             "\n \n\t\t\n\r\n\r\r\n\xC2\xA0\n\xE3\x80\x80\n\x0B\x0C\n\xC2\x85\n"
             "x\n",
             "[x]\n"},
        Caso{"aparadas",
             " \t\xC2\xA0"
             "a b\xE3\x80\x80\r\n",
             "[a b]\n"},
        Caso{"bom_nao_e_branco", "\xEF\xBB\xBF\n\xE2\x80\x8B\n", "[\xEF\xBB\xBF]\n[\xE2\x80\x8B]\n"},
        Caso{"nul_eh_caractere", "a\0b\n\0\n"s, "[a\0b]\n[\0]\n"s}, Caso{"ff_encerra", "a\nb\n\xFF\nc\n", "[a]\n[b]\n"},
        Caso{"ff_em_linha_branca_encerra", " \xFF \nc\n", ""}, Caso{"sobrelongo_encerra", "a\n\xC0\xAF\nc\n", "[a]\n"},
        Caso{"surrogate_encerra", "a\n\xED\xA0\x80\nc\n", "[a]\n"}, Caso{"cortado_no_fim_encerra", "a\n\xC3", "[a]\n"}),
    [](const testing::TestParamInfo<Caso>& info) { return std::string(info.param.nome); });

TEST(Laco, FalhaDeLeituraDescartaALinhaPendente) {
    FonteDeMemoria fonte("a\nb", 1, /*falhar_no_fim=*/true);
    SaidaDeMemoria saida;
    laco::executar_laco(fonte, saida, entre_colchetes);
    EXPECT_EQ(saida.texto, "[a]\n");
}

TEST(Laco, UmaEscritaInteiraPorRespostaAntesDaProximaLeitura) {
    FonteDeMemoria fonte("a\nb\n", 2);
    SaidaDeMemoria saida;
    std::vector<std::size_t> escritas_a_cada_leitura;
    fonte.antes_de_ler = [&] { escritas_a_cada_leitura.push_back(saida.escritas.size()); };
    laco::executar_laco(fonte, saida, entre_colchetes);
    EXPECT_EQ(saida.escritas, (std::vector<std::string>{"[a]\n", "[b]\n"}));
    EXPECT_EQ(escritas_a_cada_leitura, (std::vector<std::size_t>{0, 1, 2}));
}

struct Escritas {
    const char* nome;
    std::vector<laco::Escrita> respostas;
    std::size_t atendidas;
    std::string saida;
};
// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Escritas& linha, std::ostream* saida) { *saida << linha.nome; }

class Escrita : public testing::TestWithParam<Escritas> {};

TEST_P(Escrita, FalhaEncerraDescarteSegue) {
    FonteDeMemoria fonte("a\nb\nc\n", 100);
    SaidaDeMemoria saida;
    saida.respostas = GetParam().respostas;
    std::size_t atendidas = 0;
    laco::executar_laco(fonte, saida, [&](std::string_view c, texto::Acumulador& resposta) {
        ++atendidas;
        entre_colchetes(c, resposta);
    });
    EXPECT_EQ(atendidas, GetParam().atendidas);
    EXPECT_EQ(saida.texto, GetParam().saida);
}

using E = laco::Escrita;
INSTANTIATE_TEST_SUITE_P(Laco, Escrita,
                         testing::Values(Escritas{"falha_na_primeira", {E::falhou}, 1, ""},
                                         Escritas{"falha_na_segunda", {E::entregue, E::falhou}, 2, "[a]\n"},
                                         Escritas{"descarte_segue", {E::descartada, E::descartada}, 3, "[c]\n"}),
                         [](const testing::TestParamInfo<Escritas>& info) { return std::string(info.param.nome); });

// Against a plain reference split, over many block sizes and slice sizes, so that moving the
// pending line and growing the buffer are exercised at every offset.
TEST(DivisorDeLinhas, ConcordaComADivisaoDeReferencia) {
    std::string entrada;
    std::uint32_t semente = 12345;
    for (int i = 0; i < 3000; ++i) {
        semente = semente * 1103515245u + 12345u;
        const char alfabeto[] = {'x', 'y', '\r', '\n', '\n'};
        entrada.push_back(alfabeto[(semente >> 16) % 5]);
        if ((semente >> 8) % 97 == 0) entrada.append(200, 'z');
    }
    std::vector<std::string> referencia;
    for (std::size_t inicio = 0;;) {
        const std::size_t lf = entrada.find('\n', inicio);
        if (lf == std::string::npos) {
            if (inicio < entrada.size()) referencia.push_back(entrada.substr(inicio));
            break;
        }
        std::string linha = entrada.substr(inicio, lf - inicio);
        if (!linha.empty() && linha.back() == '\r') linha.pop_back();
        referencia.push_back(linha);
        inicio = lf + 1;
    }
    for (const std::size_t bloco : {1, 2, 5, 64, 4096})
        for (const std::size_t fatia : {1, 3, 17, 1000}) {
            FonteDeMemoria fonte(entrada, fatia);
            laco::DivisorDeLinhas divisor(fonte, bloco);
            std::vector<std::string> linhas;
            while (const auto linha = divisor.proxima()) linhas.emplace_back(*linha);
            EXPECT_EQ(linhas, referencia) << "block " << bloco << ", slices of " << fatia;
        }
}

// Short lines never make the buffer grow: the few bytes of a line cut by a block's end are moved
// to the front and the next read fills the rest. (It used to double at the first such move,
// copying a whole block to keep those bytes.)
TEST(DivisorDeLinhas, LinhasCurtasNaoFazemOBufferCrescer) {
    std::string entrada;
    for (int i = 0; i < 1000; ++i) entrada += "123456789\n";
    FonteDeMemoria fonte(entrada, 64);
    laco::DivisorDeLinhas divisor(fonte, 64);
    std::size_t linhas = 0;
    while (const auto linha = divisor.proxima()) linhas += *linha == "123456789" ? 1 : 0;
    EXPECT_EQ(linhas, 1000U);
    EXPECT_LE(fonte.maior_destino, 64U);
}

TEST(DivisorDeLinhas, CrFinalSemLfFica) {
    FonteDeMemoria fonte("a\r\nb\r", 1);
    laco::DivisorDeLinhas divisor(fonte);
    EXPECT_EQ(divisor.proxima(), "a");
    EXPECT_EQ(divisor.proxima(), "b\r");
    EXPECT_EQ(divisor.proxima(), std::nullopt);
    EXPECT_EQ(divisor.proxima(), std::nullopt);
}

// A line arriving in many small reads costs time linear in its length: rescanning or copying
// the whole line per read would take hours here, not milliseconds.
TEST(DivisorDeLinhas, LinhaLongaEmFatiasPequenas) {
    const std::size_t tamanho = 16 * 1024 * 1024;
    FonteDeMemoria fonte(std::string(tamanho, 'a') + "\nb", 16);
    laco::DivisorDeLinhas divisor(fonte);
    const auto linha = divisor.proxima();
    ASSERT_TRUE(linha.has_value());
    EXPECT_EQ(linha->size(), tamanho);
    EXPECT_EQ(divisor.proxima(), "b");
}

}  // namespace
}  // namespace ponte::testes
