#include "acbr/texto_do_buffer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace ponte::acbr {
namespace {

using namespace std::string_literals;

struct Caso {
    std::string escrito;  // at the start of a zeroed buffer
    std::int32_t tamanho;
    std::string esperado;
};

// The written text followed by the buffer's remaining zero bytes, up to the capacity.
std::string ate_a_capacidade(const std::string& texto) {
    return texto + std::string(static_cast<std::size_t>(capacidade_do_buffer) - texto.size(), '\0');
}

TEST(TextoDoBuffer, Tabela) {
    const std::vector<Caso> casos = {
        {"ACBrLib", 7, "ACBrLib"},
        {"ACBrLib", 4, "ACBr"},
        {"ACBrLib", 0, ""},
        {"ACBrLib", -1, ""},
        {"ACBrLib", std::numeric_limits<std::int32_t>::min(), ""},
        // Above the capacity: the whole buffer and never the byte past it.
        {"ACBr", 9000, ate_a_capacidade("ACBr")},
        {"ACBr", std::numeric_limits<std::int32_t>::max(), ate_a_capacidade("ACBr")},
        {"ACBr", capacidade_do_buffer, ate_a_capacidade("ACBr")},
        // NUL is a character, not white space.
        {"1.0\0"s, 4, "1.0\0"s},
        {" \0 "s, 3, "\0"s},
        // White_Space at both ends, interior kept; U+200B is not White_Space.
        {" \t\r\n\v\f\xC2\x85\xC2\xA0"
         "ACBr \t Lib"
         "\xE1\x9A\x80\xE2\x80\xA8\xE2\x80\xAF\xE3\x80\x80",
         32, "ACBr \t Lib"},
        {"\xE2\x80\x8B"
         "ACBr\xE2\x80\x8B",
         10,
         "\xE2\x80\x8B"
         "ACBr\xE2\x80\x8B"},
        {" \t\r\n", 4, ""},
        // One U+FFFD per maximal subpart.
        {"Vers\xE3o", 6, "Vers\xEF\xBF\xBDo"},
        {"a\xF0\x9F\x98", 4, "a\xEF\xBF\xBD"},
        {"\xED\xA0\x80", 3, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF", 2, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF4\x90\x80\x80", 4, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        // A size that cuts a character in two.
        {"a\xC3\xA7\xC3\xA3o", 2, "a\xEF\xBF\xBD"},
        // U+FFFD is not White_Space: a cut at the end stays visible.
        {"ab \xC3\xA7", 4, "ab \xEF\xBF\xBD"},
    };
    for (const auto& caso : casos) {
        // One byte more than the capacity, not zero, to show the clamp never reaches it.
        std::vector<char> buffer(static_cast<std::size_t>(capacidade_do_buffer) + 1, '\0');
        buffer.back() = 'X';
        caso.escrito.copy(buffer.data(), caso.escrito.size());
        EXPECT_EQ(texto_do_buffer(buffer, caso.tamanho), caso.esperado)
            << "escrito: \"" << caso.escrito << "\", tamanho " << caso.tamanho;
    }
}

}  // namespace
}  // namespace ponte::acbr
