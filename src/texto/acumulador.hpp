#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace ponte::texto {

// A text built piece by piece, in memory kept from one text to the next. Its appends are inline:
// one bound check and a copy that the compiler turns into a few moves when the length is a
// constant, where every append to a std::string is a call into the library. Every answer and
// diagnostic is built in one, a dozen small appends per line.
class Acumulador {
public:
    std::string_view texto() const { return {bytes_.data(), usado_}; }
    std::size_t tamanho() const { return usado_; }
    bool vazio() const { return usado_ == 0; }

    void limpar() { usado_ = 0; }
    // Keeps the first `tamanho` bytes, at most all of them.
    void encurtar(std::size_t tamanho) {
        if (tamanho < usado_) usado_ = tamanho;
    }

    void anexar(std::string_view pedaco) {
        char* const destino = abrir(pedaco.size());
        // memcpy may not be handed the null pointer of an empty view, even for no bytes.
        if (!pedaco.empty()) std::memcpy(destino, pedaco.data(), pedaco.size());
        usado_ += pedaco.size();
    }
    void anexar(char c) {
        *abrir(1) = c;
        ++usado_;
    }

    // Room for `bytes` more bytes after the text, written in place and then added with
    // avancar(); valid until the next append.
    char* abrir(std::size_t bytes) {
        if (bytes_.size() - usado_ < bytes) crescer(bytes);
        return bytes_.data() + usado_;
    }
    // Adds the first `bytes` bytes of the room abrir() gave.
    void avancar(std::size_t bytes) { usado_ += bytes; }
    // Adds the room abrir() gave up to `fim`.
    void avancar_ate(const char* fim) { usado_ = static_cast<std::size_t>(fim - bytes_.data()); }

    // Empties the text, and gives its memory back if one odd text grew it past `limite`.
    void esvaziar(std::size_t limite) {
        usado_ = 0;
        if (bytes_.size() > limite) liberar();
    }

private:
    void crescer(std::size_t bytes);
    void liberar();

    // All of it is room: the text is its first usado_ bytes. A std::string rather than a raw
    // block: it owns its memory, and its data() is never null, not even before any growth.
    std::string bytes_;
    std::size_t usado_ = 0;
};

// Copies `pedaco` to `destino` and gives the end of the copy: several pieces written in a row into
// the room one abrir() gave, with one bound check for all of them.
inline char* copiar(char* destino, std::string_view pedaco) {
    if (!pedaco.empty()) std::memcpy(destino, pedaco.data(), pedaco.size());
    return destino + pedaco.size();
}

}  // namespace ponte::texto
