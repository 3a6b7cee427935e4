#pragma once

#include "laco/fonte.hpp"
#include "texto/varredura.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace ponte::laco {

// Cuts a byte stream into lines at each line feed. A line that ends in CR LF loses that one
// CR; the last line, when the input ends without a line feed, is given as it stands.
//
// Every byte is searched for the line feed once and moved at most once, so the cost of a line
// is linear in its length, however many reads it takes to arrive. Lines have no length bound.
class DivisorDeLinhas {
public:
    static constexpr std::size_t bloco_padrao = std::size_t{64} * 1024;

    explicit DivisorDeLinhas(FonteDeBytes& fonte, std::size_t bloco = bloco_padrao);

    // The next line without its end, valid until the next call; nullopt once the input is over
    // (end, or a failure, which drops the bytes of an unfinished line). Inline for the usual
    // case, a line whose end was read already.
    std::optional<std::string_view> proxima() {
        const char* const dados = buffer_.get();
        if (const char* lf = texto::primeira_quebra(dados + varrido_, dados + fim_)) return servir(lf);
        return proxima_lendo();
    }

private:
    std::optional<std::string_view> proxima_lendo();
    std::string_view servir(const char* lf) {
        const auto posicao = static_cast<std::size_t>(lf - buffer_.get());
        std::string_view linha(buffer_.get() + inicio_, posicao - inicio_);
        if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
        inicio_ = varrido_ = posicao + 1;
        return linha;
    }
    void abrir_espaco();
    void redimensionar(std::size_t capacidade);

    struct Liberar {
        void operator()(char* bloco) const noexcept;
    };

    FonteDeBytes& fonte_;
    std::size_t bloco_;
    // Grown with realloc, not std::vector: for a large block realloc moves the pages (mremap)
    // instead of copying them, and leaves new space unwritten until read(2) fills it, so a huge
    // line never holds its memory twice over, nor pages zero-filled for nothing.
    std::unique_ptr<char, Liberar> buffer_;
    std::size_t capacidade_ = 0;
    std::size_t inicio_ = 0;   // first byte of the pending line
    std::size_t varrido_ = 0;  // bytes before this hold no line feed of the pending line
    std::size_t fim_ = 0;      // end of the bytes read
    bool esgotada_ = false;
};

}  // namespace ponte::laco
