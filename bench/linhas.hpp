#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ponte::bench {

// A version command of exactly `tamanho` bytes (at least 64) whose "cmd" member comes after a
// large member the bridge ignores: nested arrays and objects, integers, decimals, exponents,
// literals, and strings with every escape, surrogate pairs and multi-byte UTF-8. The same size
// always gives the same bytes, so the microbenchmarks and the whole-process runs read one text.
std::string linha_grande(std::size_t tamanho);

// {"x":[[...]],"cmd":"versao"} with arrays and the outer object nested `profundidade` deep; with
// another variant (an unknown one is read to the end and refused there for it).
std::string linha_aninhada(int profundidade, std::string_view variante = "versao");

// {"x":[{"a":[{"a":...0...}]}],"cmd":"versao"}: arrays and objects alternating, `profundidade`
// deep with the outer object.
std::string linha_aninhada_mista(int profundidade);

}  // namespace ponte::bench
