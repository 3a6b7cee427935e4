#include "texto/acumulador.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ponte::texto {
namespace {

// Appends of every kind across many growths keep every byte, in order, as a std::string would.
TEST(Acumulador, GuardaOQueUmaStringGuardaria) {
    Acumulador acumulador;
    std::string modelo;
    EXPECT_TRUE(acumulador.vazio());
    EXPECT_EQ(acumulador.texto(), "");
    acumulador.anexar(std::string_view());
    for (int i = 0; i < 2000; ++i) {
        const std::string pedaco(static_cast<std::size_t>(i % 37), static_cast<char>('a' + i % 26));
        acumulador.anexar(pedaco);
        modelo += pedaco;
        acumulador.anexar(static_cast<char>(i));
        modelo += static_cast<char>(i);
        // In place: room asked for, part of it used.
        char* p = acumulador.abrir(10);
        p = copiar(p, "xyz");
        acumulador.avancar_ate(p);
        modelo += "xyz";
        ASSERT_EQ(acumulador.tamanho(), modelo.size());
    }
    EXPECT_EQ(acumulador.texto(), modelo);
    acumulador.encurtar(5);
    EXPECT_EQ(acumulador.texto(), modelo.substr(0, 5));
    acumulador.encurtar(50);  // never longer
    EXPECT_EQ(acumulador.texto(), modelo.substr(0, 5));
    acumulador.limpar();
    EXPECT_TRUE(acumulador.vazio());
}

// Emptied, it keeps its memory up to the limit (the data stays where it was) and gives back more.
TEST(Acumulador, EsvaziarDevolveSoOQuePassaDoLimite) {
    Acumulador acumulador;
    acumulador.anexar(std::string(1000, 'x'));
    const char* antes = acumulador.texto().data();
    acumulador.esvaziar(4096);
    EXPECT_TRUE(acumulador.vazio());
    acumulador.anexar("y");
    EXPECT_EQ(acumulador.texto().data(), antes);
    acumulador.anexar(std::string(100'000, 'z'));
    acumulador.esvaziar(4096);
    acumulador.anexar(std::string(1000, 'w'));
    EXPECT_EQ(acumulador.texto(), std::string(1000, 'w'));
}

}  // namespace
}  // namespace ponte::texto
