// An executable whose path is longer than a first guess of its length: the bridge must read its
// whole path, not a truncated one, to find the `acbr` directory beside it; and where the library
// keeps its configuration file then depends on how its runtime reads that path.
#include "processo/falsas.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;

// A fresh folder over 1,000 bytes deep, in names of at most 200 bytes each, holding a copy of
// the bridge; removed with everything in it.
class PastaLonga {
public:
    PastaLonga() {
        std::string modelo = (fs::temp_directory_path() / "acbr-ponte-XXXXXX").string();
        if (::mkdtemp(modelo.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        raiz_ = modelo;
        pasta_ = raiz_;
        for (char letra = 'a'; letra <= 'e'; ++letra) pasta_ /= std::string(200, letra);
        fs::create_directories(pasta_ / "acbr");
        fs::copy_file(PONTE_EXECUTAVEL, executavel());
    }
    PastaLonga(const PastaLonga&) = delete;
    PastaLonga& operator=(const PastaLonga&) = delete;
    ~PastaLonga() {
        std::error_code ignorado;
        fs::remove_all(raiz_, ignorado);
    }

    const fs::path& raiz() const { return raiz_; }
    const fs::path& pasta() const { return pasta_; }
    fs::path executavel() const { return pasta_ / "acbr-ponte"; }

private:
    fs::path raiz_, pasta_;
};

TEST(CaminhoLongo, AcbrAoLadoDeUmExecutavelDeCaminhoLongo) {
    if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    PastaLonga longa;
    fs::copy_file(PONTE_LIB_FALSA, longa.pasta() / "acbr" / PONTE_ARQUIVO_DA_LIB);

    Opcoes opcoes;
    opcoes.executavel = longa.executavel().string();
    opcoes.ambiente["ACBR_DIR"] = std::nullopt;
    opcoes.ambiente["ACBR_FALSA_NOME"] = "N";
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = "V";
    const Resultado r = rodar(opcoes, "{\"cmd\":\"versao\"}\n");
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, "{\"ok\":true,\"nome\":\"N\",\"versao\":\"V\"}\n");
    EXPECT_EQ(r.erro, "");
}

class ConfiguracaoNumCaminhoLongo : public testing::TestWithParam<Falsa> {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

// The C stand-in keeps the file beside the bridge. The Free Pascal runtime keeps the
// executable's path in 255 bytes, so the Pascal stand-in, as the library would, uses the folder
// that the cut path still names whole: an ancestor of the bridge's.
TEST_P(ConfiguracaoNumCaminhoLongo, OndeOArquivoFica) {
    PastaLonga longa;
    std::string esperado = fs::canonical(longa.pasta()).string() + "/acbrlib.ini";
    if (GetParam().nome == "pascal") {
        const std::string cortado = fs::canonical(longa.executavel()).string().substr(0, 255);
        esperado = cortado.substr(0, cortado.rfind('/') + 1) + "acbrlib.ini";
        ASSERT_LT(esperado.size(), fs::canonical(longa.pasta()).string().size());
    }
    Opcoes opcoes;
    opcoes.executavel = longa.executavel().string();
    opcoes.ambiente["ACBR_DIR"] = GetParam().diretorio.string();
    opcoes.ambiente["ACBR_FALSA_REGISTRO"] = (longa.raiz() / "registro").string();
    opcoes.ambiente["ACBR_FALSA_NOME"] = "N";
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = "V";
    const Resultado r = rodar(opcoes, "{\"cmd\":\"versao\"}\n");
    EXPECT_EQ(r.saida, "{\"ok\":true,\"nome\":\"N\",\"versao\":\"V\"}\n");
    EXPECT_EQ(ler_texto(longa.raiz() / "registro"), ciclo_registrado(esperado));
    EXPECT_TRUE(fs::exists(esperado));
}

std::vector<Falsa> todas() {
    std::vector<Falsa> lista = {falsa_c()};
    for (auto& falsa : falsas_pascal(false)) lista.push_back(falsa);
    return lista;
}

INSTANTIATE_TEST_SUITE_P(CaminhoLongo, ConfiguracaoNumCaminhoLongo, testing::ValuesIn(todas()),
                         [](const testing::TestParamInfo<Falsa>& info) { return info.param.nome; });

}  // namespace
}  // namespace ponte::testes
