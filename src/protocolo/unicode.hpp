#pragma once

namespace ponte::protocolo {

// True for the characters that the quoted notation of a string writes as \u{...}: those of
// the general categories Cc, Cf, Cs, Co, Cn, Zl, Zp and Zs (U+0020 excepted), and those with
// the Grapheme_Extend property. Unicode 15.0.
bool escapar_na_notacao(char32_t ponto);

}  // namespace ponte::protocolo
