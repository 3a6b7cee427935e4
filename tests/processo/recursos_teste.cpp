// One long-lived bridge answers 1,000 version queries: between two commands the library is not
// mapped at all (each query unloads it), and neither the open descriptors nor the mappings of
// the library file grow from the first query to the last. Over 2,000 more queries its resident
// memory stays flat with the C stand-in and with a Pascal one built without its thread manager;
// only the Pascal thread manager's own leak on every load and unload makes it grow.
// Linux only: the counts come from /proc.
#ifdef __linux__
#include "processo/falsas.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

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

std::size_t memoria_residente_kib(pid_t pid) {
    std::ifstream status(fs::path("/proc") / std::to_string(pid) / "status");
    for (std::string linha; std::getline(status, linha);)
        if (linha.starts_with("VmRSS:")) return std::stoul(linha.substr(6));
    return 0;
}

struct Crescimento {
    Falsa falsa;
    bool cresce;  // the library's own leak, known and documented
};

void PrintTo(const Crescimento& caso, std::ostream* saida) { *saida << caso.falsa.nome; }

std::vector<Crescimento> crescimentos() {
    std::vector<Crescimento> lista{{falsa_c(), false}};
    for (auto& falsa : falsas_pascal(true)) lista.push_back({falsa, falsa.nome == "pascal"});
    return lista;
}

class Memoria : public testing::TestWithParam<Crescimento> {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
#if defined(PONTE_SOB_EMULADOR)
        GTEST_SKIP() << "under qemu-user the resident memory is the emulator's, whose code caches grow with every load";
#endif
#if defined(__SANITIZE_ADDRESS__)
        GTEST_SKIP() << "AddressSanitizer's quarantine holds freed memory on purpose";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        GTEST_SKIP() << "AddressSanitizer's quarantine holds freed memory on purpose";
#endif
#endif
    }
};

TEST_P(Memoria, SoAFalsaComCthreadsCresce) {
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    opcoes.ambiente["ACBR_DIR"] = GetParam().falsa.diretorio.string();
    Filho filho(opcoes);
    ASSERT_TRUE(filho.iniciado());
    auto consultar = [&filho](int vezes) {
        for (int consulta = 0; consulta < vezes; ++consulta) {
            if (!filho.escrever("{\"cmd\":\"versao\"}\n", daqui_a(10s))) return false;
            const auto resposta = filho.ler_linha(daqui_a(10s));
            if (!resposta || !resposta->starts_with("{\"ok\":true,")) return false;
        }
        return true;
    };
    // Warmed up first: the allocator's and the loader's first growth is no leak.
    ASSERT_TRUE(consultar(200));
    const std::size_t antes = memoria_residente_kib(filho.pid());
    ASSERT_TRUE(consultar(2000));
    const std::size_t depois = memoria_residente_kib(filho.pid());
    ASSERT_GT(antes, 0U);
    const std::size_t crescimento = depois > antes ? depois - antes : 0;
    if (GetParam().cresce) {
        // Its leak per cycle (docs/biblioteca.md) adds up to far more than this over 2,000 queries.
        EXPECT_GT(crescimento, 8U * 1024) << antes << " KiB -> " << depois << " KiB";
    } else {
        EXPECT_LT(crescimento, 512U) << antes << " KiB -> " << depois << " KiB";
    }
    filho.fechar_entrada();
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
}

INSTANTIATE_TEST_SUITE_P(Recursos, Memoria, testing::ValuesIn(crescimentos()),
                         [](const testing::TestParamInfo<Crescimento>& info) { return info.param.falsa.nome; });

}  // namespace
}  // namespace ponte::testes
#endif
