#pragma once

#include "laco/fonte.hpp"

namespace ponte::laco {

// Reads an open descriptor with read(2). The descriptor is borrowed, never closed.
class DescritorDeEntrada final : public FonteDeBytes {
public:
    explicit DescritorDeEntrada(int descritor) : descritor_(descritor) {}
    Leitura ler(std::span<char> destino) override;

private:
    int descritor_;
};

}  // namespace ponte::laco
