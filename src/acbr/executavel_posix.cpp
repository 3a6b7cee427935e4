#include "acbr/executavel.hpp"

#if defined(__APPLE__)
#include <mach-o/dyld.h>

#include <cstdint>
#include <cstring>
#elif defined(__linux__)
#include <unistd.h>

#include <cstddef>
#endif

namespace ponte::acbr {

#if defined(__APPLE__)

std::optional<std::string> caminho_do_executavel() {
    std::uint32_t tamanho = 1024;
    std::string caminho(tamanho, '\0');
    if (_NSGetExecutablePath(caminho.data(), &tamanho) != 0) {
        // Too small: tamanho now holds the size needed.
        caminho.assign(tamanho, '\0');
        if (_NSGetExecutablePath(caminho.data(), &tamanho) != 0) {
            return std::nullopt;
        }
    }
    caminho.resize(std::strlen(caminho.c_str()));
    return caminho;
}

#elif defined(__linux__)

std::optional<std::string> caminho_do_executavel() {
    // readlink truncates silently, so a full buffer may hold only part of the path.
    constexpr std::size_t maximo = std::size_t{1} << 20U;
    std::string caminho(256, '\0');
    for (;;) {
        const ssize_t lidos = ::readlink("/proc/self/exe", caminho.data(), caminho.size());
        if (lidos < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(lidos) < caminho.size()) {
            caminho.resize(static_cast<std::size_t>(lidos));
            return caminho;
        }
        if (caminho.size() >= maximo) {
            return std::nullopt;
        }
        caminho.resize(caminho.size() * 2);
    }
}

#else

std::optional<std::string> caminho_do_executavel() { return std::nullopt; }

#endif

}  // namespace ponte::acbr
