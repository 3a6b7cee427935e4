#pragma once

#include "laco/saida.hpp"

namespace ponte::laco {

// Writes to an open descriptor with write(2). The descriptor is borrowed, never closed.
class DescritorDeSaida final : public SaidaDeBytes {
public:
    explicit DescritorDeSaida(int descritor) : descritor_(descritor) {}
    // Hands over every byte, across partial writes and interruptions, before returning.
    Escrita escrever(std::string_view bytes) override;

private:
    int descritor_;
};

}  // namespace ponte::laco
