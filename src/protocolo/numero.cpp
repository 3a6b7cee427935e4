#include "protocolo/numero.hpp"

#include "protocolo/notacao.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace ponte::protocolo {
namespace {

// The doubles nearest to 10^0 .. 10^308, written as literals so that the compiler rounds each
// one correctly.
#define PONTE_P(x) 1e##x
#define PONTE_D(x)                                                                                           \
    PONTE_P(x##0), PONTE_P(x##1), PONTE_P(x##2), PONTE_P(x##3), PONTE_P(x##4), PONTE_P(x##5), PONTE_P(x##6), \
        PONTE_P(x##7), PONTE_P(x##8), PONTE_P(x##9)
constexpr std::array<double, 309> potencias_de_dez = {
    PONTE_P(0),   PONTE_P(1),   PONTE_P(2),   PONTE_P(3),   PONTE_P(4),   PONTE_P(5),   PONTE_P(6),   PONTE_P(7),
    PONTE_P(8),   PONTE_P(9),   PONTE_D(1),   PONTE_D(2),   PONTE_D(3),   PONTE_D(4),   PONTE_D(5),   PONTE_D(6),
    PONTE_D(7),   PONTE_D(8),   PONTE_D(9),   PONTE_D(10),  PONTE_D(11),  PONTE_D(12),  PONTE_D(13),  PONTE_D(14),
    PONTE_D(15),  PONTE_D(16),  PONTE_D(17),  PONTE_D(18),  PONTE_D(19),  PONTE_D(20),  PONTE_D(21),  PONTE_D(22),
    PONTE_D(23),  PONTE_D(24),  PONTE_D(25),  PONTE_D(26),  PONTE_D(27),  PONTE_D(28),  PONTE_D(29),  PONTE_P(300),
    PONTE_P(301), PONTE_P(302), PONTE_P(303), PONTE_P(304), PONTE_P(305), PONTE_P(306), PONTE_P(307), PONTE_P(308),
};
#undef PONTE_D
#undef PONTE_P
static_assert(potencias_de_dez[22] == 1e22 && potencias_de_dez[308] == 1e308);

constexpr std::int64_t maior_expoente = 308;

}  // namespace

std::optional<double> valor_do_numero(std::uint64_t significando, std::int64_t expoente) {
    auto valor = static_cast<double>(significando);
    if (expoente >= 0) {
        if (expoente > maior_expoente) {
            if (significando == 0) return 0.0;
            return std::nullopt;
        }
        valor *= potencias_de_dez[static_cast<std::size_t>(expoente)];
        if (std::isinf(valor)) return std::nullopt;
        return valor;
    }
    auto magnitude = -expoente;
    // Once the value is zero, further divisions change nothing; stopping there keeps an exponent
    // near -2^31 from costing millions of divisions per number.
    while (magnitude > maior_expoente && valor != 0.0) {
        valor /= potencias_de_dez[maior_expoente];
        magnitude -= maior_expoente;
    }
    if (magnitude > maior_expoente) return valor;
    return valor / potencias_de_dez[static_cast<std::size_t>(magnitude)];
}

void anexar_descricao_do_numero(texto::Acumulador& destino, const Numero& numero) {
    if (numero.tipo == Numero::Tipo::flutuante) {
        destino.anexar("floating point `");
        anexar_ponto_flutuante(destino, numero.valor);
    } else {
        constexpr std::string_view inteiro = "integer `-";
        constexpr std::size_t maximo = 20;  // the digits of 2^64 - 1
        char* p = destino.abrir(inteiro.size() + maximo + 1);
        p = texto::copiar(p, numero.tipo == Numero::Tipo::inteiro_negativo ? inteiro : inteiro.substr(0, 9));
        p = std::to_chars(p, p + maximo, numero.magnitude).ptr;
        *p++ = '`';
        destino.avancar_ate(p);
        return;
    }
    destino.anexar('`');
}

std::string descrever_numero(const Numero& numero) {
    texto::Acumulador descricao;
    anexar_descricao_do_numero(descricao, numero);
    return std::string(descricao.texto());
}

}  // namespace ponte::protocolo
