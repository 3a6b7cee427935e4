#include "acbr/caminho_da_lib.hpp"
#include "acbr/mensagens.hpp"
#include "ambiente.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ponte::acbr {
namespace {

TEST(CaminhoDaLib, PaiEJuncao) {
    struct Pai {
        std::string caminho;
        std::optional<std::string> esperado;
    };
    const std::vector<Pai> pais = {
        {"/opt/app/acbr-ponte", "/opt/app"},
        {"/acbr-ponte", "/"},
        {"//acbr-ponte", "/"},
        {"rel/acbr-ponte", "rel"},
        {"a//b", "a"},
        {"acbr-ponte", ""},
        {"a/b/", "a"},
        {"b/", ""},
        {"/", std::nullopt},
        {"//", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& caso : pais) {
        EXPECT_EQ(pai_do_caminho(caso.caminho), caso.esperado) << caso.caminho;
    }
    EXPECT_EQ(juntar_caminho("/opt", "acbr"), "/opt/acbr");
    EXPECT_EQ(juntar_caminho("/opt/", "acbr"), "/opt/acbr");
    EXPECT_EQ(juntar_caminho("/", "acbr"), "/acbr");
    EXPECT_EQ(juntar_caminho("", "acbr"), "acbr");
}

TEST(CaminhoDaLib, MensagemDePlataformaTem151Bytes) { EXPECT_EQ(mensagens::plataforma.size(), 151U); }

#if defined(PONTE_ARQUIVO_DA_LIB) && defined(__linux__)

TEST(CaminhoDaLib, AcbrDirOuAoLadoDoExecutavel) {
    const std::string arquivo = PONTE_ARQUIVO_DA_LIB;
    const std::string ao_lado =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "acbr" / arquivo).string();
    struct Caso {
        std::optional<std::string> acbr_dir;  // nullopt: unset
        std::string esperado;
    };
    const std::vector<Caso> casos = {
        {"/opt/acbr", "/opt/acbr/" + arquivo},
        {"/opt/acbr/", "/opt/acbr/" + arquivo},
        {"rel/acbr", "rel/acbr/" + arquivo},
        {" com espaços ", " com espaços /" + arquivo},  // used unchanged, never trimmed
        {"", arquivo},                                  // empty is a directory, not unset
        {std::nullopt, ao_lado},
        {"/opt/\xFF"
         "acbr",
         ao_lado},  // not UTF-8: as if unset
    };
    for (const auto& caso : casos) {
        testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", caso.acbr_dir);
        EXPECT_EQ(caminho_da_lib(), caso.esperado) << caso.acbr_dir.value_or("(unset)");
    }
}

#endif

}  // namespace
}  // namespace ponte::acbr
