#pragma once

#include <cstddef>
#include <string_view>

namespace ponte::texto {

struct Posicao {
    std::size_t linha;   // 1 + the line feeds in the text
    std::size_t coluna;  // the bytes after the last line feed, or all of them when there is none
};

// Where the end of `texto` lies. A text without line feeds (every line the loop serves) costs one
// memchr; otherwise the line feeds are counted and the last one found eight bytes at a time.
// Nothing here walks the text byte by byte, so a failure at the end of a huge line costs a
// fraction of what reading it did.
Posicao posicao_do_fim(std::string_view texto);

}  // namespace ponte::texto
