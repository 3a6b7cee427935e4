#pragma once

#include "texto/acumulador.hpp"

#include <string>
#include <string_view>

namespace ponte::protocolo {

// Appends the shortest round-trip digits of a finite double, laid out plainly for decimal
// exponents -5..15 ("100.0", "0.00001") and as d.ddde±x outside ("1e+16", "1.5e-7"); zero is "0.0".
// Nothing is allocated beyond the growth of `destino`.
void anexar_ponto_flutuante(texto::Acumulador& destino, double valor);

// The same, as a string of its own.
std::string notacao_de_ponto_flutuante(double valor);

// Appends the text between double quotes, with \" \\ \t \r \n \0 and \u{hex} for the characters
// that are not printable or extend the preceding one.
void anexar_notacao_citada(texto::Acumulador& destino, std::string_view texto);

}  // namespace ponte::protocolo
