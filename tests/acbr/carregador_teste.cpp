// The loaded library's owner: exactly one owner unloads it, a move hands it over, and a
// move-assignment unloads what the target held before. Observed in /proc/self/maps.
#ifdef __linux__
#include "acbr/carregador.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace ponte::acbr {
namespace {

namespace fs = std::filesystem;
using carregador::Biblioteca;

bool mapeada(const fs::path& arquivo) {
    const std::string procurado = fs::canonical(arquivo).string();
    std::ifstream mapas("/proc/self/maps");
    for (std::string linha; std::getline(mapas, linha);)
        if (linha.ends_with(procurado)) return true;
    return false;
}

Biblioteca abrir(const fs::path& arquivo) {
    auto aberta = carregador::abrir(arquivo.string());
    if (!std::holds_alternative<Biblioteca>(aberta)) throw std::runtime_error("cannot load " + arquivo.string());
    return std::get<Biblioteca>(std::move(aberta));
}

TEST(Biblioteca, MoverEAtribuirDescarregamUmaVezCada) {
    const fs::path padrao = PONTE_FALSA_PADRAO;
    const fs::path outra = fs::path(PONTE_FALSA_VARIANTES) / "sem_nome" / padrao.filename();
    {
        Biblioteca destino = abrir(outra);
        Biblioteca origem = abrir(padrao);
        ASSERT_TRUE(mapeada(outra) && mapeada(padrao));

        Biblioteca& mesma = destino;
        destino = std::move(mesma);
        EXPECT_TRUE(mapeada(outra)) << "a self-assignment unloaded the library";

        destino = std::move(origem);
        EXPECT_FALSE(mapeada(outra)) << "the library held before the assignment stays loaded";
        EXPECT_TRUE(mapeada(padrao));

        Biblioteca movida(std::move(destino));
        EXPECT_TRUE(mapeada(padrao));
    }
    EXPECT_FALSE(mapeada(padrao));
}

}  // namespace
}  // namespace ponte::acbr
#endif
