#pragma once

#include <cstddef>
#include <span>

namespace ponte::laco {

enum class EstadoDaLeitura {
    dados,  // `bytes` (at least 1) bytes were placed at the start of the destination
    fim,    // nothing more will come
    falha,  // reading failed; whatever is pending is dropped
};

struct Leitura {
    EstadoDaLeitura estado;
    std::size_t bytes = 0;
};

// Where the loop's input bytes come from: standard input in the process, memory in tests.
class FonteDeBytes {
public:
    virtual ~FonteDeBytes() = default;
    // Blocks until at least one byte, the end or a failure. `destino` is never empty.
    virtual Leitura ler(std::span<char> destino) = 0;

protected:
    FonteDeBytes() = default;
    FonteDeBytes(const FonteDeBytes&) = default;
    FonteDeBytes& operator=(const FonteDeBytes&) = default;
};

}  // namespace ponte::laco
