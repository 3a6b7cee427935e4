#include "protocolo/unicode.hpp"

#include <gtest/gtest.h>

namespace {

TEST(EscaparNaNotacao, PontosConhecidos) {
    struct Caso {
        char32_t ponto;
        bool escapar;
    };
    const Caso casos[] = {
        {0x0000, true},                                        // Cc, first of the table
        {0x001F, true},                                        // Cc
        {0x0020, false},                                       // the space is the one Zs left as is
        {U'a', false},    {0x007E, false},  {0x007F, true},    // Cc
        {0x00A0, true},                                        // Zs
        {0x00AD, true},                                        // Cf
        {0x00E3, false},  {0x0301, true},                      // Grapheme_Extend
        {0x0378, true},                                        // unassigned
        {0x200D, true},                                        // Cf and Grapheme_Extend
        {0x2028, true},                                        // Zl
        {0x2029, true},                                        // Zp
        {0x3000, true},                                        // Zs
        {0xD800, true},                                        // Cs
        {0xE000, true},                                        // Co
        {0xFE0F, true},                                        // variation selector, Grapheme_Extend
        {0xFEFF, true},                                        // Cf
        {0xFFFD, false},  {0x1F600, false}, {0x20000, false},  // inside a First/Last range of assigned ideographs
        {0xE0001, true},                                       // Cf tag
        {0x10FFFD, true},                                      // Co, last range of the table
        {0x10FFFF, true},                                      // noncharacter, unassigned
    };
    for (const auto& caso : casos) {
        EXPECT_EQ(ponte::protocolo::escapar_na_notacao(caso.ponto), caso.escapar)
            << std::hex << static_cast<unsigned long>(caso.ponto);
    }
}

}  // namespace
