#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

// The seam between the version query and the platform's dynamic loader. Each platform's
// loader implements these declarations in its own file (carregador_posix.cpp for dlopen), so
// the query's stages never name a loader call.
namespace ponte::acbr::carregador {

// A failed open or lookup: the loader's own description, taken right after the failure, or
// nothing when the loader reported none. Raw bytes, not necessarily UTF-8.
struct Falha {
    std::optional<std::string> descricao;
};

// A loaded library; unloaded when its owner goes out of scope. Move-only, so exactly one
// owner unloads it.
class Biblioteca {
public:
    Biblioteca(const Biblioteca&) = delete;
    Biblioteca& operator=(const Biblioteca&) = delete;
    Biblioteca(Biblioteca&& outra) noexcept : nativa_(std::exchange(outra.nativa_, nullptr)) {}
    Biblioteca& operator=(Biblioteca&& outra) noexcept {
        if (this != &outra) {
            Biblioteca anterior(std::move(*this));  // unloads what this held
            nativa_ = std::exchange(outra.nativa_, nullptr);
        }
        return *this;
    }
    ~Biblioteca();

private:
    friend std::variant<Biblioteca, Falha> abrir(const std::string& caminho);
    friend std::variant<void*, Falha> procurar(const Biblioteca& biblioteca, const char* nome);

    explicit Biblioteca(void* nativa) noexcept : nativa_(nativa) {}

    void* nativa_ = nullptr;  // the loader's own handle
};

// Loads exactly the file the path names: a path without a separator means the file in the
// working directory, never a search of the system's library paths.
std::variant<Biblioteca, Falha> abrir(const std::string& caminho);

// The address of an exported name. A null address never comes back as a success: it is a
// Falha, with the loader's description when it gave one.
std::variant<void*, Falha> procurar(const Biblioteca& biblioteca, const char* nome);

}  // namespace ponte::acbr::carregador
