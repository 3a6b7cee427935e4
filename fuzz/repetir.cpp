// Replays saved inputs through a fuzz target when libFuzzer is not linked, so every target
// builds with any compiler and its corpus runs as an ordinary test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t executados = 0;
    auto executar = [&](const fs::path& caminho) {
        std::ifstream arquivo(caminho, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(arquivo)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++executados;
    };
    for (int i = 1; i < argc; ++i) {
        fs::path caminho(argv[i]);
        if (fs::is_directory(caminho)) {
            for (const auto& entrada : fs::recursive_directory_iterator(caminho))
                if (entrada.is_regular_file()) executar(entrada.path());
        } else {
            executar(caminho);
        }
    }
    std::printf("%zu inputs replayed\n", executados);
    return executados > 0 ? 0 : 1;
}
