// The version query end to end, with the stand-in library in place of ACBrLib NFe.
#include "comum/diretorio_temporario.hpp"
#include "comum/json_valido.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string versao = "{\"cmd\":\"versao\"}\n";
const std::string nome_falso = "ACBrLibNFe de ensaio — ção";
const std::string versao_falsa = "9.8.7-teste";
const std::string sucesso = "{\"ok\":true,\"nome\":\"" + nome_falso + "\",\"versao\":\"" + versao_falsa + "\"}\n";

Opcoes com_falsa(std::optional<std::string> acbr_dir) {
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    opcoes.ambiente["ACBR_DIR"] = std::move(acbr_dir);
    opcoes.ambiente["ACBR_FALSA_NOME"] = nome_falso;
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = versao_falsa;
    return opcoes;
}

class Versao : public testing::Test {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

TEST_F(Versao, PeloAcbrDir) {
    const Resultado r = rodar(com_falsa(fs::path(PONTE_LIB_FALSA).parent_path().string()), versao + "\n[\"versao\"]\n");
    EXPECT_EQ(descrever(r.status), "exit 0");
    // Each query runs the library's whole cycle anew.
    EXPECT_EQ(r.saida, sucesso + sucesso);
    EXPECT_TRUE(linhas_de_json_validas(r.saida)) << r.saida;
    EXPECT_EQ(r.erro, "");
}

// A directory name beyond ASCII reaches the loader intact (as UTF-16 on Windows).
TEST_F(Versao, PeloAcbrDirComAcentos) {
    DiretorioTemporario temporario;
    const fs::path dir = temporario.caminho() / fs::path(u8"Emissão ç");
    fs::create_directory(dir);
    fs::copy_file(PONTE_LIB_FALSA, dir / PONTE_ARQUIVO_DA_LIB);
    const auto utf8 = dir.u8string();
    const Resultado r = rodar(com_falsa(std::string(utf8.begin(), utf8.end())), versao);
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, sucesso);
    EXPECT_TRUE(linhas_de_json_validas(r.saida)) << r.saida;
    EXPECT_EQ(r.erro, "");
}

TEST_F(Versao, PeloDiretorioAcbrAoLadoDoExecutavel) {
    DiretorioTemporario temporario;
    ASSERT_FALSE(temporario.caminho().empty());
    const fs::path exe = temporario.caminho() / fs::path(PONTE_EXECUTAVEL).filename();
    fs::create_directory(temporario.caminho() / "acbr");
    fs::copy_file(PONTE_EXECUTAVEL, exe);
    fs::copy_file(PONTE_LIB_FALSA, temporario.caminho() / "acbr" / PONTE_ARQUIVO_DA_LIB);
    fs::permissions(exe, fs::perms::owner_all);

    Opcoes opcoes = com_falsa(std::nullopt);
    opcoes.executavel = exe.string();
    const Resultado r = rodar(opcoes, versao);
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, sucesso);
    EXPECT_TRUE(linhas_de_json_validas(r.saida)) << r.saida;
    EXPECT_EQ(r.erro, "");
}

TEST_F(Versao, DiretorioSemBibliotecaResponde) {
    DiretorioTemporario vazio;
    ASSERT_FALSE(vazio.caminho().empty());
    const Resultado r = rodar(com_falsa(vazio.caminho().string()), versao + versao);
#ifdef _WIN32
    const std::string lib = vazio.caminho().string() + "\\" PONTE_ARQUIVO_DA_LIB;
#else
    const std::string lib = vazio.caminho().string() + "/" PONTE_ARQUIVO_DA_LIB;
#endif
    std::string lib_em_json;  // a Windows path's backslashes are escaped in the answer
    for (const char c : lib) lib_em_json += c == '\\' ? std::string("\\\\") : std::string(1, c);
    const std::string falha = "{\"ok\":false,\"erro\":\"biblioteca não encontrada em " + lib_em_json + "\"}\n";
    EXPECT_EQ(descrever(r.status), "exit 0");
    // The failure is a response: the loop goes on to the next command.
    EXPECT_EQ(r.saida, falha + falha);
    EXPECT_TRUE(linhas_de_json_validas(r.saida)) << r.saida;
    EXPECT_EQ(r.erro, "");
}

// Where the ACBr Project publishes no library, every query answers the platform message, these
// exact bytes, whatever the directory holds.
TEST(VersaoSemBibliotecaPublicada, RespondeAMensagemDaPlataforma) {
    if (!std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is published for this platform";
    const std::string plataforma =
        "{\"ok\":false,\"erro\":\"A ACBrLib não existe para este sistema (o Projeto ACBr publica Windows e Linux). "
        "Emissão e impressão térmica só se testam em Windows ou Linux x64.\"}\n";
    for (const auto& acbr_dir : {std::optional<std::string>(fs::path(PONTE_LIB_FALSA).parent_path().string()),
                                 std::optional<std::string>(std::nullopt)}) {
        const Resultado r = rodar(com_falsa(acbr_dir), versao + "\n" + versao);
        EXPECT_EQ(descrever(r.status), "exit 0");
        EXPECT_EQ(r.saida, plataforma + plataforma);
        EXPECT_EQ(r.erro, "");
    }
}

}  // namespace
}  // namespace ponte::testes
