#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

struct Entrada {
    std::unique_ptr<char[]> bytes;
    std::size_t tamanho = 0;
};

// Whether the program was asked to expect an invalid text (--invalido).
inline bool espera_invalido(int argc, char** argv) { return argc > 1 && std::string_view(argv[1]) == "--invalido"; }

// All of standard input, followed by `folga` zero bytes. A regular file is read at its size in
// one go, into memory that is not zeroed first: the cheapest way there is, since the
// baselines stand for the best case. Any other input grows by doubling.
inline Entrada ler_entrada(std::size_t folga) {
    struct stat estado {};
    std::size_t capacidade = ::fstat(0, &estado) == 0 && S_ISREG(estado.st_mode)
                                 ? static_cast<std::size_t>(estado.st_size) + 1
                                 : std::size_t{1} << 16U;
    Entrada entrada{std::make_unique_for_overwrite<char[]>(capacidade + folga), 0};
    for (;;) {
        if (entrada.tamanho == capacidade) {
            capacidade *= 2;
            auto maior = std::make_unique_for_overwrite<char[]>(capacidade + folga);
            std::copy_n(entrada.bytes.get(), entrada.tamanho, maior.get());
            entrada.bytes = std::move(maior);
        }
        const ssize_t lidos = ::read(0, entrada.bytes.get() + entrada.tamanho, capacidade - entrada.tamanho);
        if (lidos <= 0) break;
        entrada.tamanho += static_cast<std::size_t>(lidos);
    }
    std::memset(entrada.bytes.get() + entrada.tamanho, 0, folga);
    return entrada;
}
