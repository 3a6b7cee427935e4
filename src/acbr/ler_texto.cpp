#include "acbr/ler_texto.hpp"

#include "acbr/pontos_de_entrada.hpp"
#include "acbr/texto_do_buffer.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace ponte::acbr {

std::optional<std::string> ler_texto(const carregador::Biblioteca& biblioteca, void* const& handle, const char* nome) {
    const auto achado = carregador::procurar(biblioteca, nome);
    const auto* endereco = std::get_if<void*>(&achado);
    if (endereco == nullptr) {
        return std::nullopt;
    }
    const FuncaoTexto ler(*endereco);

    // One spare zero byte past the size the library is given: a library that ends its text
    // with a NUL one past that size writes into it rather than past the allocation.
    constexpr auto capacidade = static_cast<std::size_t>(capacidade_do_buffer);
    std::vector<char> buffer(capacidade + 1, '\0');
    std::int32_t tamanho = capacidade_do_buffer;
    if (ler(handle, buffer.data(), &tamanho) != 0) {
        return std::nullopt;
    }
    return texto_do_buffer(std::span<const char>(buffer).first(capacidade), tamanho);
}

}  // namespace ponte::acbr
