#include "texto/acumulador.hpp"

#include <algorithm>

namespace ponte::texto {

void Acumulador::liberar() { bytes_ = std::string(); }

// Doubles, so that a text built by many appends is copied a bounded number of times. The new
// room is zero-filled once by resize; it is only ever written before it is read.
void Acumulador::crescer(std::size_t bytes) {
    constexpr std::size_t minimo = 128;
    bytes_.resize(std::max({2 * bytes_.size(), usado_ + bytes, minimo}));
}

}  // namespace ponte::texto
