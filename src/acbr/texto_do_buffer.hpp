#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ponte::acbr {

// The size of the buffer each text read hands the library, and the most the bridge reads.
inline constexpr std::int32_t capacidade_do_buffer = 8192;

// The text of the first `tamanho` bytes (clamped to 0 .. min(capacity, bytes.size())), decoded
// leniently (U+FFFD per maximal subpart) and trimmed of White_Space at both ends. NUL bytes
// are characters and stay.
std::string texto_do_buffer(std::span<const char> bytes, std::int32_t tamanho);

}  // namespace ponte::acbr
