#pragma once

#include "comum/diretorio_temporario.hpp"

#ifdef _WIN32
#include <windows.h>
#endif

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
#ifdef _WIN32
    // Values are UTF-8 here and UTF-16 in Windows' environment. The C runtime's copy (which the
    // stand-in's C code may read) and the process environment (which the bridge reads) both
    // change; an empty value exists only in the latter, the runtime taking "" as removal.
    void aplicar(const std::optional<std::string>& valor) const {
        const std::wstring nome = largo(nome_);
        if (valor) {
            const std::wstring texto = largo(*valor);
            ::_wputenv_s(nome.c_str(), texto.c_str());
            ::SetEnvironmentVariableW(nome.c_str(), texto.c_str());
        } else {
            ::_wputenv_s(nome.c_str(), L"");
            ::SetEnvironmentVariableW(nome.c_str(), nullptr);
        }
    }

    static std::wstring largo(const std::string& utf8) {
        if (utf8.empty()) return {};
        const int tamanho = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                  static_cast<int>(utf8.size()), nullptr, 0);
        if (tamanho <= 0) throw std::runtime_error("not UTF-8: " + utf8);
        std::wstring texto(static_cast<std::size_t>(tamanho), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), texto.data(), tamanho);
        return texto;
    }
#else
    void aplicar(const std::optional<std::string>& valor) const {
        if (valor) {
            ::setenv(nome_.c_str(), valor->c_str(), 1);
        } else {
            ::unsetenv(nome_.c_str());
        }
    }
#endif

    std::string nome_;
    std::optional<std::string> anterior_;
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

// The library's configuration file, which the stand-in (as the library) keeps in the folder of
// the running executable: here the test program's own, in UTF-8, as the call record shows it.
inline std::string configuracao_deste_executavel() {
#ifdef _WIN32
    std::wstring caminho(32768, L'\0');
    caminho.resize(::GetModuleFileNameW(nullptr, caminho.data(), static_cast<DWORD>(caminho.size())));
    const auto texto = (std::filesystem::path(caminho).parent_path() / "ACBrLib.ini").u8string();
#else
    const auto texto = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "acbrlib.ini").u8string();
#endif
    return {texto.begin(), texto.end()};
}

// The stand-in's call record: one line per call; empty when it never wrote.
inline std::vector<std::string> ler_registro(const std::filesystem::path& arquivo) {
    std::vector<std::string> palavras;
    std::ifstream entrada(arquivo);
    for (std::string linha; std::getline(entrada, linha);) {
        palavras.push_back(linha);
    }
    return palavras;
}

}  // namespace ponte::testes
