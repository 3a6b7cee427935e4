#include "protocolo/unicode.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace ponte::protocolo {

namespace {

struct Faixa {
    char32_t primeiro;
    char32_t ultimo;
};

constexpr Faixa faixas_escapadas[] = {
#include "protocolo/tabelas_unicode.inc"
};

// The binary search below is only right on sorted, disjoint ranges.
constexpr bool faixas_em_ordem() {
    for (std::size_t i = 0; i < std::size(faixas_escapadas); ++i) {
        if (faixas_escapadas[i].primeiro > faixas_escapadas[i].ultimo) {
            return false;
        }
        if (i > 0 && faixas_escapadas[i - 1].ultimo >= faixas_escapadas[i].primeiro) {
            return false;
        }
    }
    return true;
}
static_assert(faixas_em_ordem(), "tabelas_unicode.inc must hold sorted, disjoint ranges");

}  // namespace

bool escapar_na_notacao(char32_t ponto) {
    // The first range that starts after the point; the one before it is the only candidate.
    const auto depois = std::upper_bound(std::begin(faixas_escapadas), std::end(faixas_escapadas), ponto,
                                         [](char32_t valor, const Faixa& faixa) { return valor < faixa.primeiro; });
    if (depois == std::begin(faixas_escapadas)) {
        return false;
    }
    return ponto <= std::prev(depois)->ultimo;
}

}  // namespace ponte::protocolo
