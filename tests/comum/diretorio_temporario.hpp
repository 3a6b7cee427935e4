#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ponte::testes {

// A fresh directory under the system's temporary directory, removed with its contents when the
// scope ends. Named at random and created with create_directory, which fails on an existing
// name, so it works where mkdtemp does not exist (Windows).
class DiretorioTemporario {
public:
    DiretorioTemporario() {
        std::random_device aleatorio;
        const auto base = std::filesystem::temp_directory_path();
        for (int tentativa = 0; tentativa < 100; ++tentativa) {
            auto candidato = base / ("acbr-ponte-" + std::to_string(aleatorio()));
            if (std::filesystem::create_directory(candidato)) {
                caminho_ = std::move(candidato);
                return;
            }
        }
        throw std::runtime_error("no temporary directory could be created");
    }
    DiretorioTemporario(const DiretorioTemporario&) = delete;
    DiretorioTemporario& operator=(const DiretorioTemporario&) = delete;
    ~DiretorioTemporario() {
        std::error_code ignorado;
        std::filesystem::remove_all(caminho_, ignorado);
    }
    const std::filesystem::path& caminho() const { return caminho_; }

private:
    std::filesystem::path caminho_;
};

}  // namespace ponte::testes
