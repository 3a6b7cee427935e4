#pragma once

#include <cstddef>

namespace ponte::testes {

// Heap allocations made so far by this process: every operator new, and on glibc (outside the
// sanitizers, which own malloc) every malloc, calloc and realloc as well.
std::size_t alocacoes_feitas();

// Whether malloc and its kin are counted too, not only operator new.
bool malloc_contado();

}  // namespace ponte::testes
