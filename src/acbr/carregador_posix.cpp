#include "acbr/carregador.hpp"

#include <dlfcn.h>

#include <utility>

namespace ponte::acbr::carregador {
namespace {

// dlerror's text, read once: a second call would already answer null.
std::optional<std::string> descricao_pendente() {
    const char* descricao = ::dlerror();
    if (descricao == nullptr) {
        return std::nullopt;
    }
    return std::string(descricao);
}

}  // namespace

Biblioteca::~Biblioteca() {
    if (nativa_ != nullptr) {
        ::dlclose(nativa_);  // its result changes nothing for the caller
    }
}

std::variant<Biblioteca, Falha> abrir(const std::string& caminho) {
    // dlopen searches the system's library paths for a name without "/", which is not the
    // file whose existence the caller just tested in the working directory.
    const std::string nomeado = caminho.find('/') == std::string::npos ? "./" + caminho : caminho;
    void* nativa = ::dlopen(nomeado.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (nativa == nullptr) {
        return Falha{descricao_pendente()};
    }
    return Biblioteca(nativa);
}

std::variant<void*, Falha> procurar(const Biblioteca& biblioteca, const char* nome) {
    // A null address is a legal symbol value, so only dlerror tells a missing name apart.
    ::dlerror();
    void* endereco = ::dlsym(biblioteca.nativa_, nome);
    if (endereco == nullptr) {
        return Falha{descricao_pendente()};
    }
    return endereco;
}

}  // namespace ponte::acbr::carregador
