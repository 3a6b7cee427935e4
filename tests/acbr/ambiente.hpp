#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Scoped changes to the test process's surroundings, undone when the scope ends.
namespace ponte::testes {

class VariavelDeAmbiente {
public:
    // nullopt: unset for the scope.
    VariavelDeAmbiente(std::string nome, const std::optional<std::string>& valor) : nome_(std::move(nome)) {
        if (const char* anterior = std::getenv(nome_.c_str())) {
            anterior_ = anterior;
        }
        aplicar(valor);
    }
    VariavelDeAmbiente(const VariavelDeAmbiente&) = delete;
    VariavelDeAmbiente& operator=(const VariavelDeAmbiente&) = delete;
    ~VariavelDeAmbiente() { aplicar(anterior_); }

private:
    void aplicar(const std::optional<std::string>& valor) const {
        if (valor) {
            ::setenv(nome_.c_str(), valor->c_str(), 1);
        } else {
            ::unsetenv(nome_.c_str());
        }
    }

    std::string nome_;
    std::optional<std::string> anterior_;
};

class DiretorioTemporario {
public:
    DiretorioTemporario() {
        std::string modelo = (std::filesystem::temp_directory_path() / "ponte-acbr-XXXXXX").string();
        if (::mkdtemp(modelo.data()) == nullptr) {
            throw std::runtime_error("mkdtemp falhou");
        }
        caminho_ = modelo;
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

class DiretorioDeTrabalho {
public:
    explicit DiretorioDeTrabalho(const std::filesystem::path& novo) : anterior_(std::filesystem::current_path()) {
        std::filesystem::current_path(novo);
    }
    DiretorioDeTrabalho(const DiretorioDeTrabalho&) = delete;
    DiretorioDeTrabalho& operator=(const DiretorioDeTrabalho&) = delete;
    ~DiretorioDeTrabalho() {
        std::error_code ignorado;
        std::filesystem::current_path(anterior_, ignorado);
    }

private:
    std::filesystem::path anterior_;
};

// The stand-in's call record: one word per line; empty when it never wrote.
inline std::vector<std::string> ler_registro(const std::filesystem::path& arquivo) {
    std::vector<std::string> palavras;
    std::ifstream entrada(arquivo);
    for (std::string linha; std::getline(entrada, linha);) {
        palavras.push_back(linha);
    }
    return palavras;
}

}  // namespace ponte::testes
