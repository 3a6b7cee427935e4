#include "texto/espaco_branco.hpp"

#include "texto/utf8.hpp"

#include <cstddef>
#include <iterator>

namespace ponte::texto {

namespace {

struct Faixa {
    char32_t primeiro;
    char32_t ultimo;
};

constexpr Faixa espacos_brancos[] = {
#include "texto/espaco_branco.inc"
};

// The search below stops at the first range past the point: the ranges must be sorted.
constexpr bool faixas_em_ordem() {
    for (std::size_t i = 1; i < std::size(espacos_brancos); ++i) {
        if (espacos_brancos[i - 1].ultimo >= espacos_brancos[i].primeiro) return false;
    }
    return true;
}
static_assert(faixas_em_ordem(), "espaco_branco.inc must hold sorted, disjoint ranges");

}  // namespace

bool e_espaco_branco(char32_t ponto) {
    // A handful of short ranges: one pass, stopping at the first that starts past the point.
    for (const Faixa& faixa : espacos_brancos) {
        if (ponto < faixa.primeiro) return false;
        if (ponto <= faixa.ultimo) return true;
    }
    return false;
}

// The ends that the inline check could not settle: characters decoded one by one.
std::string_view detalhe::aparar_espaco_branco_decodificando(std::string_view utf8_valido) {
    std::string_view resto = utf8_valido;
    while (!resto.empty()) {
        const PontoDeCodigo primeiro = primeiro_ponto(resto);
        if (!e_espaco_branco(primeiro.valor)) {
            break;
        }
        resto.remove_prefix(primeiro.comprimento);
    }
    while (!resto.empty()) {
        const PontoDeCodigo ultimo = ultimo_ponto(resto);
        if (!e_espaco_branco(ultimo.valor)) {
            break;
        }
        resto.remove_suffix(ultimo.comprimento);
    }
    return resto;
}

}  // namespace ponte::texto
