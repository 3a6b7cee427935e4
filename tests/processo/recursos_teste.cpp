// One long-lived bridge answers 1,000 version queries: between two commands the library is not
// mapped at all (each query unloads it), and neither the open descriptors nor the mappings of
// the library file grow from the first query to the last.
// Linux only: the counts come from /proc.
#ifdef __linux__
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Amostra {
    std::size_t descritores = 0;
    std::size_t mapeamentos_da_lib = 0;
};

Amostra amostrar(pid_t pid, const std::string& lib) {
    const fs::path proc = fs::path("/proc") / std::to_string(pid);
    Amostra amostra;
    for ([[maybe_unused]] const auto& entrada : fs::directory_iterator(proc / "fd")) ++amostra.descritores;
    std::ifstream mapas(proc / "maps");
    for (std::string linha; std::getline(mapas, linha);)
        if (linha.ends_with(lib)) ++amostra.mapeamentos_da_lib;
    return amostra;
}

TEST(Recursos, MilConsultasNaoAcumulamDescritoresNemMapeamentos) {
    if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    const std::string lib = fs::canonical(PONTE_LIB_FALSA).string();

    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    opcoes.ambiente["ACBR_DIR"] = fs::path(lib).parent_path().string();
    Filho filho(opcoes);
    ASSERT_TRUE(filho.iniciado());

    Amostra primeira, ultima;
    for (int consulta = 1; consulta <= 1000; ++consulta) {
        ASSERT_TRUE(filho.escrever("{\"cmd\":\"versao\"}\n", daqui_a(10s)));
        const auto resposta = filho.ler_linha(daqui_a(10s));
        ASSERT_TRUE(resposta.has_value()) << "query " << consulta;
        ASSERT_TRUE(resposta->starts_with("{\"ok\":true,")) << *resposta;
        // The answer is written after the library was unloaded, so none of it may be mapped.
        const Amostra agora = amostrar(filho.pid(), lib);
        ASSERT_EQ(agora.mapeamentos_da_lib, 0U) << "query " << consulta;
        if (consulta == 1) primeira = agora;
        if (consulta == 1000) ultima = agora;
    }
    EXPECT_EQ(ultima.descritores, primeira.descritores);
    EXPECT_EQ(ultima.mapeamentos_da_lib, primeira.mapeamentos_da_lib);

    filho.fechar_entrada();
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    EXPECT_EQ(filho.erro(), "");
}

}  // namespace
}  // namespace ponte::testes
#endif
