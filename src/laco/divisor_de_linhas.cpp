#include "laco/divisor_de_linhas.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ponte::laco {

DivisorDeLinhas::DivisorDeLinhas(FonteDeBytes& fonte, std::size_t bloco)
    : fonte_(fonte), bloco_(std::max<std::size_t>(bloco, 1)) {
    redimensionar(bloco_);
}

void DivisorDeLinhas::Liberar::operator()(char* bloco) const noexcept {
    // The buffer is malloc memory because it is grown with realloc (see buffer_).
    std::free(bloco);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
}

// Like std::vector, fails with std::bad_alloc, and keeps the bytes read so far.
void DivisorDeLinhas::redimensionar(std::size_t capacidade) {
    // realloc, not new + copy: see buffer_. The unique_ptr below owns the result.
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    void* novo = std::realloc(buffer_.get(), capacidade);
    if (novo == nullptr) throw std::bad_alloc();
    (void)buffer_.release();  // realloc has already freed or kept it as `novo`
    buffer_.reset(static_cast<char*>(novo));
    capacidade_ = capacidade;
}

// No line feed among the bytes read: read until one comes, or the input ends. Once it has ended
// nothing is read again (varrido_ == fim_ from then on, so proxima() always comes here).
std::optional<std::string_view> DivisorDeLinhas::proxima_lendo() {
    if (esgotada_) return std::nullopt;
    for (;;) {
        varrido_ = fim_;
        abrir_espaco();
        const Leitura leitura = fonte_.ler(std::span<char>(buffer_.get() + fim_, capacidade_ - fim_));
        switch (leitura.estado) {
        case EstadoDaLeitura::dados:
            fim_ += leitura.bytes;
            if (const char* lf = texto::primeira_quebra(buffer_.get() + varrido_, buffer_.get() + fim_))
                return servir(lf);
            break;
        case EstadoDaLeitura::fim:
            esgotada_ = true;
            if (fim_ == inicio_) return std::nullopt;
            return std::string_view(buffer_.get() + inicio_, fim_ - inicio_);
        case EstadoDaLeitura::falha: esgotada_ = true; return std::nullopt;
        }
    }
}

// Leaves room after `fim_` for the next read: a block when a served line's bytes can be given
// back, otherwise at least half a block. Only the pending line, which holds no line feed, is
// ever moved, and it is moved once: the next move needs a line to have been served first. Half a
// block, not a whole one: a short pending line moved to the front would otherwise grow the buffer
// at the first read after the first block, copying the block's worth of bytes to keep a few.
void DivisorDeLinhas::abrir_espaco() {
    if (inicio_ == fim_) {
        inicio_ = varrido_ = fim_ = 0;
        // A huge line is not worth its memory once served.
        if (capacidade_ > 16 * bloco_) {
            buffer_.reset();
            capacidade_ = 0;
            redimensionar(bloco_);
        }
    } else if (inicio_ > 0 && capacidade_ - fim_ < bloco_) {
        std::memmove(buffer_.get(), buffer_.get() + inicio_, fim_ - inicio_);
        fim_ -= inicio_;
        varrido_ -= inicio_;
        inicio_ = 0;
    }
    if (capacidade_ - fim_ < std::max<std::size_t>(bloco_ / 2, 1))
        redimensionar(std::max(2 * capacidade_, fim_ + bloco_));
}

}  // namespace ponte::laco
