// Writes the inputs of bench/comparar.py into the directory given:
//   curtas.txt        300,000 short invalid commands, four kinds in turn
//   aninhadas.txt     2,000 commands nested 120 deep, refused at the end for their unknown variant
//                     (bench/linhas.hpp)
//   versoes.txt       20,000 version queries
//   grande.txt        one 32 MiB version command (bench/linhas.hpp) and its line feed
//   grande_falha.txt  the same line with its last byte, the closing brace, made a bracket: it
//                     fails there with "expected `,` or `}`"
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

std::string repetir(std::string_view ciclo, std::size_t vezes) {
    std::string texto;
    texto.reserve(ciclo.size() * vezes);
    for (std::size_t i = 0; i < vezes; ++i) texto += ciclo;
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
    std::string grande = ponte::bench::linha_grande(32 * mib);
    bool ok =
        escrever(diretorio + "/curtas.txt", repetir(invalidas, 300'000 / 4)) &&
        escrever(diretorio + "/aninhadas.txt", repetir(ponte::bench::linha_aninhada(120, "ajuda") + '\n', 2'000)) &&
        escrever(diretorio + "/versoes.txt", repetir("{\"cmd\":\"versao\"}\n", 20'000)) &&
        escrever(diretorio + "/grande.txt", grande + '\n');
    grande.back() = ']';
    ok = ok && escrever(diretorio + "/grande_falha.txt", grande + '\n');
    return ok ? 0 : 1;
}
