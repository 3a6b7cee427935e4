// A standard descriptor that is open the wrong way round (EBADF). The other outcomes of
// read(2) and write(2) are covered through the built bridge in tests/processo.
#include "laco/descritor_de_entrada.hpp"
#include "laco/descritor_de_saida.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif
#include <array>

namespace ponte::testes {
namespace {

// Both ends of a pipe, closed on every path.
struct Cano {
    std::array<int, 2> pontas{-1, -1};
#ifdef _WIN32
    // The C runtime's descriptors over a Windows pipe: what the bridge reads and writes there.
    Cano() { EXPECT_EQ(::_pipe(pontas.data(), 4096, _O_BINARY), 0); }
#else
    Cano() { EXPECT_EQ(::pipe(pontas.data()), 0); }
#endif
    Cano(const Cano&) = delete;
    Cano& operator=(const Cano&) = delete;
    ~Cano() {
        for (const int p : pontas)
            if (p >= 0) ::close(p);
    }
};

TEST(Descritores, EntradaNaoLegivelEhFim) {
    Cano cano;
    std::array<char, 8> destino{};
    EXPECT_EQ(laco::DescritorDeEntrada(cano.pontas[1]).ler(destino).estado, laco::EstadoDaLeitura::fim);
}

TEST(Descritores, SaidaNaoGravavelDescartaESegue) {
    Cano cano;
    EXPECT_EQ(laco::DescritorDeSaida(cano.pontas[0]).escrever("ab\n"), laco::Escrita::descartada);
}

}  // namespace
}  // namespace ponte::testes
