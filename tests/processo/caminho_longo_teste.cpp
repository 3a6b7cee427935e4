// The `acbr` directory beside an executable whose path is longer than a first guess of its
// length: the bridge must read its whole path, not a truncated one.
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;

TEST(CaminhoLongo, AcbrAoLadoDeUmExecutavelDeCaminhoLongo) {
    if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    std::string modelo = (fs::temp_directory_path() / "acbr-ponte-XXXXXX").string();
    ASSERT_NE(::mkdtemp(modelo.data()), nullptr);
    const fs::path raiz = modelo;
    struct Limpeza {
        fs::path caminho;
        ~Limpeza() {
            std::error_code ignorado;
            fs::remove_all(caminho, ignorado);
        }
    } limpeza{raiz};

    // Over 1,000 bytes, in names of at most 200 bytes each.
    fs::path diretorio = raiz;
    for (char letra = 'a'; letra <= 'e'; ++letra) diretorio /= std::string(200, letra);
    fs::create_directories(diretorio / "acbr");
    const fs::path exe = diretorio / "acbr-ponte";
    fs::copy_file(PONTE_EXECUTAVEL, exe);
    fs::copy_file(PONTE_LIB_FALSA, diretorio / "acbr" / PONTE_ARQUIVO_DA_LIB);

    Opcoes opcoes;
    opcoes.executavel = exe.string();
    opcoes.ambiente["ACBR_DIR"] = std::nullopt;
    opcoes.ambiente["ACBR_FALSA_NOME"] = "N";
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = "V";
    const Resultado r = rodar(opcoes, "{\"cmd\":\"versao\"}\n");
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, "{\"ok\":true,\"nome\":\"N\",\"versao\":\"V\"}\n");
    EXPECT_EQ(r.erro, "");
}

}  // namespace
}  // namespace ponte::testes
