#pragma once

#include <string_view>

namespace ponte::laco {

enum class Escrita {
    entregue,    // every byte was handed over
    descartada,  // the output takes nothing (not writable); the loop carries on as if delivered
    falhou,      // the output is gone; the loop ends
};

// Where the loop's response lines go: standard output in the process, memory in tests.
class SaidaDeBytes {
public:
    virtual ~SaidaDeBytes() = default;
    virtual Escrita escrever(std::string_view bytes) = 0;

protected:
    SaidaDeBytes() = default;
    SaidaDeBytes(const SaidaDeBytes&) = default;
    SaidaDeBytes& operator=(const SaidaDeBytes&) = default;
};

}  // namespace ponte::laco
