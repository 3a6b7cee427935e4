// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#pragma once

#include <string>
#include <string_view>

namespace ponte::referencia {

// Shortest round-trip digits of a finite double, laid out plainly for decimal exponents -5..15
// ("100.0", "0.00001") and as d.ddde±x outside ("1e+16", "1.5e-7"); zero is "0.0".
std::string notacao_de_ponto_flutuante(double valor);

// The text between double quotes, with \" \\ \t \r \n \0 and \u{hex} for the characters that
// are not printable or extend the preceding one.
std::string notacao_citada(std::string_view texto);

}  // namespace ponte::referencia
