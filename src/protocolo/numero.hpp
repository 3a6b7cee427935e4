#pragma once

#include "texto/acumulador.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace ponte::protocolo {

// A JSON number as the reader classifies it for the descriptions of unexpected values.
struct Numero {
    enum class Tipo { inteiro_sem_sinal, inteiro_negativo, flutuante };
    Tipo tipo = Tipo::inteiro_sem_sinal;
    std::uint64_t magnitude = 0;  // the integers: the value, or its magnitude when negative
    double valor = 0.0;           // flutuante
};

// The value of gathered significand digits times ten to the decimal exponent: one rounding to
// double, then one multiplication or division by the double nearest to the power of ten. This
// is deliberately not correctly rounded; hosts see these exact values in diagnostics.
// Empty when the magnitude exceeds the double range.
std::optional<double> valor_do_numero(std::uint64_t significando, std::int64_t expoente);

// Appends "integer `N`", "integer `-N`" or "floating point `X`".
void anexar_descricao_do_numero(texto::Acumulador& destino, const Numero& numero);

// The same, as a string of its own.
std::string descrever_numero(const Numero& numero);

}  // namespace ponte::protocolo
