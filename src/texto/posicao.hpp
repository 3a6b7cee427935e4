#pragma once

#include "texto/varredura.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ponte::texto {

struct Posicao {
    std::size_t linha;   // 1 + the line feeds in the text
    std::size_t coluna;  // the bytes after the last line feed, or all of them when there is none
};

namespace detalhe {
Posicao posicao_do_fim_com_memchr(std::string_view texto);
}

// Where the end of `texto` lies. A text without line feeds (every line the loop serves) costs two
// words when it is short, inline, or one memchr; otherwise the line feeds are counted and the
// last one found eight bytes at a time. Nothing here walks the text byte by byte, so a failure at
// the end of a huge line costs a fraction of what reading it did.
inline Posicao posicao_do_fim(std::string_view texto) {
    if (texto.size() <= 16) {
        constexpr std::uint64_t quebras = 0x0A0A0A0A0A0A0A0AULL;
        const auto com_quebra = [](std::uint64_t palavra) { return detalhe::zeros_na_palavra(palavra ^ quebras); };
        if (detalhe::marcas_em_texto_curto(texto.data(), texto.size(), com_quebra) == 0) return {1, texto.size()};
    }
    return detalhe::posicao_do_fim_com_memchr(texto);
}

}  // namespace ponte::texto
