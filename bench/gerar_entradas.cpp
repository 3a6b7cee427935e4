// Writes the inputs of bench/comparar.py into the directory given:
//   curtas.txt   1,000,000 short invalid commands, four kinds in turn
//   versoes.txt  20,000 version queries
//   grande.txt   one 64 MiB command line (bench/linhas.hpp) and its line feed
#include "linhas.hpp"

#include <array>
#include <cstddef>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

bool escrever(const std::string& caminho, const std::string& texto) {
    std::ofstream arquivo(caminho, std::ios::binary | std::ios::trunc);
    arquivo.write(texto.data(), static_cast<std::streamsize>(texto.size()));
    arquivo.close();
    if (arquivo) return true;
    std::cerr << "cannot write " << caminho << '\n';
    return false;
}

std::string repetir(std::string_view ciclo, std::size_t linhas_no_ciclo, std::size_t linhas) {
    std::string texto;
    texto.reserve(ciclo.size() * (linhas / linhas_no_ciclo + 1));
    for (std::size_t i = 0; i < linhas / linhas_no_ciclo; ++i) texto += ciclo;
    return texto;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "uso: " << argv[0] << " DIRETORIO\n";
        return 2;
    }
    const std::string diretorio = argv[1];
    constexpr std::string_view invalidas = "{\"cmd\":\"ajuda\"}\n{}\n[\"versao\",1]\n{\"cmd\":1}\n";
    constexpr std::size_t mib = std::size_t{1} << 20U;
    const bool ok = escrever(diretorio + "/curtas.txt", repetir(invalidas, 4, 1'000'000)) &&
                    escrever(diretorio + "/versoes.txt", repetir("{\"cmd\":\"versao\"}\n", 1, 20'000)) &&
                    escrever(diretorio + "/grande.txt", ponte::bench::linha_grande(64 * mib) + '\n');
    return ok ? 0 : 1;
}
