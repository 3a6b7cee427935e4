#include "protocolo/numero.hpp"
#include "protocolo/notacao.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace ponte::protocolo {
namespace {

TEST(NotacaoDePontoFlutuante, PlanaEntreMenos5e15CientificaForaDisso) {
    struct Caso {
        double valor;
        std::string esperado;
    };
    const std::vector<Caso> casos = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {100.0, "100.0"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e+16"},
        {0.5, "0.5"},
        {12.25, "12.25"},
        {1e-5, "0.00001"},
        {1.5e-5, "0.000015"},
        {1e-6, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {-2.5, "-2.5"},
        {123456789012345.6, "123456789012345.6"},
        {1.8446744073709552e19, "1.8446744073709552e+19"},
        {9.99e15, "9990000000000000.0"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    for (const auto& caso : casos) EXPECT_EQ(notacao_de_ponto_flutuante(caso.valor), caso.esperado) << caso.esperado;
}

TEST(ValorDoNumero, UsaAPotenciaDeDezMaisProxima) {
    for (int expoente = 0; expoente <= 308; ++expoente) {
        auto literal = "1e" + std::to_string(expoente);
        ASSERT_EQ(valor_do_numero(1, expoente), std::strtod(literal.c_str(), nullptr)) << literal;
        ASSERT_EQ(valor_do_numero(1, -expoente), 1.0 / std::strtod(literal.c_str(), nullptr)) << literal;
    }
}

TEST(ValorDoNumero, ArredondaDuasVezesForaDoIntervaloELimites) {
    // Deliberately not correctly rounded: the significand is rounded, then scaled.
    EXPECT_EQ(valor_do_numero(90071992547409930ULL, -1), 9007199254740994.0);
    EXPECT_EQ(valor_do_numero(0, 400), 0.0);
    EXPECT_EQ(valor_do_numero(1, 309), std::nullopt);
    EXPECT_EQ(valor_do_numero(17976931348623158ULL, 292), std::nullopt);
    EXPECT_EQ(valor_do_numero(17976931348623157ULL, 292), std::numeric_limits<double>::max());
    EXPECT_EQ(valor_do_numero(1, -400), 0.0);
    EXPECT_EQ(valor_do_numero(5, -324), 5.0 / 1e308 / 1e16);
}

TEST(DescreverNumero, InteirosEPontoFlutuante) {
    EXPECT_EQ(descrever_numero({Numero::Tipo::inteiro_sem_sinal, 18446744073709551615ULL, 0}),
              "integer `18446744073709551615`");
    EXPECT_EQ(descrever_numero({Numero::Tipo::inteiro_negativo, 9223372036854775808ULL, 0}),
              "integer `-9223372036854775808`");
    EXPECT_EQ(descrever_numero({Numero::Tipo::flutuante, 0, -0.0}), "floating point `-0.0`");
}

}  // namespace
}  // namespace ponte::protocolo
