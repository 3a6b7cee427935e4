#include "laco/divisor_de_linhas.hpp"

#include <algorithm>
#include <cstring>

namespace ponte::laco {

DivisorDeLinhas::DivisorDeLinhas(FonteDeBytes& fonte, std::size_t bloco)
    : fonte_(fonte), bloco_(std::max<std::size_t>(bloco, 1)), buffer_(bloco_) {}

std::optional<std::string_view> DivisorDeLinhas::proxima() {
    if (esgotada_) return std::nullopt;
    for (;;) {
        const char* dados = buffer_.data();
        if (const void* lf = std::memchr(dados + varrido_, '\n', fim_ - varrido_)) {
            const auto posicao = static_cast<std::size_t>(static_cast<const char*>(lf) - dados);
            std::string_view linha(dados + inicio_, posicao - inicio_);
            if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
            inicio_ = varrido_ = posicao + 1;
            return linha;
        }
        varrido_ = fim_;
        abrir_espaco();
        const Leitura leitura = fonte_.ler(std::span<char>(buffer_.data() + fim_, buffer_.size() - fim_));
        switch (leitura.estado) {
        case EstadoDaLeitura::dados: fim_ += leitura.bytes; break;
        case EstadoDaLeitura::fim:
            esgotada_ = true;
            if (fim_ == inicio_) return std::nullopt;
            return std::string_view(buffer_.data() + inicio_, fim_ - inicio_);
        case EstadoDaLeitura::falha: esgotada_ = true; return std::nullopt;
        }
    }
}

// Leaves at least one block free after `fim_`. Only the pending line, which holds no line feed,
// is ever moved, and it is moved once: the next move needs a line to have been served first.
void DivisorDeLinhas::abrir_espaco() {
    if (inicio_ == fim_) {
        inicio_ = varrido_ = fim_ = 0;
        // A huge line is not worth its memory once served.
        if (buffer_.size() > 16 * bloco_) buffer_ = std::vector<char>(bloco_);
    } else if (inicio_ > 0 && buffer_.size() - fim_ < bloco_) {
        std::memmove(buffer_.data(), buffer_.data() + inicio_, fim_ - inicio_);
        fim_ -= inicio_;
        varrido_ -= inicio_;
        inicio_ = 0;
    }
    if (buffer_.size() - fim_ < bloco_) buffer_.resize(std::max(2 * buffer_.size(), fim_ + bloco_));
}

}  // namespace ponte::laco
