#pragma once

#include "laco/fonte.hpp"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

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
    // (end, or a failure, which drops the bytes of an unfinished line).
    std::optional<std::string_view> proxima();

private:
    void abrir_espaco();

    FonteDeBytes& fonte_;
    std::size_t bloco_;
    std::vector<char> buffer_;
    std::size_t inicio_ = 0;   // first byte of the pending line
    std::size_t varrido_ = 0;  // bytes before this hold no line feed of the pending line
    std::size_t fim_ = 0;      // end of the bytes read
    bool esgotada_ = false;
};

}  // namespace ponte::laco
