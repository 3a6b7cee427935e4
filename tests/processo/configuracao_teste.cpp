// What a host sees of the library's configuration file. The library runs inside the bridge, so
// it keeps the file in the bridge's folder: a missing file is written there at the first query,
// and where it cannot be written every query fails; a readable file already there is used, even
// where nothing can be written. The same cases run against the C and the Free Pascal stand-in.
#include "comum/diretorio_temporario.hpp"
#include "processo/falsas.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string versao = "{\"cmd\":\"versao\"}\n";
const std::string padrao = "{\"ok\":true,\"nome\":\"ACBrLibNFe (falsa)\",\"versao\":\"0.0.0-falsa\"}\n";
const std::string recusada = "{\"ok\":false,\"erro\":\"NFE_Inicializar devolveu -1\"}\n";

#ifdef _WIN32
const std::string fim_de_linha = "\r\n";  // the stand-in writes in text mode
#else
const std::string fim_de_linha = "\n";
#endif

std::string conteudo_padrao() {
    std::string texto;
    for (const char* linha :
         {"[Principal]", "LogNivel=0", "LogPath=", "", "[Falsa]", "; Nome=ACBrLibNFe (falsa)", "; Versao=0.0.0-falsa"})
        texto += linha + fim_de_linha;
    return texto;
}

std::string ler_binario(const fs::path& arquivo) {
    std::ifstream entrada(arquivo, std::ios::binary);
    return {std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>()};
}

// A private copy of the bridge and the stand-in in a fresh folder that every user can read
// and search (the build tree may not be):
//   raiz/ponte/acbr-ponte   the bridge, whose folder gets the configuration file
//   raiz/acbr/<lib>         the stand-in, named by ACBR_DIR
//   raiz/registro/          writable by everyone: the call record
class Instalacao {
public:
    explicit Instalacao(const Falsa& falsa) {
        using fs::perms;
        const auto leitura =
            perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec;
        fs::permissions(temporario_.caminho(), leitura);
        for (const char* pasta : {"ponte", "acbr", "registro"}) fs::create_directory(temporario_.caminho() / pasta);
        fs::permissions(temporario_.caminho() / "registro", perms::all);
        fs::copy_file(PONTE_EXECUTAVEL, executavel());
        fs::copy_file(falsa.diretorio / PONTE_ARQUIVO_DA_LIB, temporario_.caminho() / "acbr" / PONTE_ARQUIVO_DA_LIB);
        fs::permissions(executavel(), leitura);
        fs::permissions(temporario_.caminho() / "acbr" / PONTE_ARQUIVO_DA_LIB, leitura);
    }
    Instalacao(const Instalacao&) = delete;
    Instalacao& operator=(const Instalacao&) = delete;
    // A folder left without write permission must get it back to be removed.
    ~Instalacao() {
        std::error_code ignorado;
        fs::permissions(pasta(), fs::perms::owner_all, fs::perm_options::add, ignorado);
    }

    fs::path pasta() const { return temporario_.caminho() / "ponte"; }
    fs::path executavel() const { return pasta() / fs::path(PONTE_EXECUTAVEL).filename(); }
    fs::path configuracao() const { return pasta() / arquivo_de_configuracao; }
    fs::path registro() const { return temporario_.caminho() / "registro" / "registro"; }

    Opcoes opcoes() const {
        Opcoes opcoes;
        opcoes.executavel = executavel().string();
        opcoes.ambiente["ACBR_DIR"] = (temporario_.caminho() / "acbr").string();
        opcoes.ambiente["ACBR_FALSA_REGISTRO"] = registro().string();
        opcoes.ambiente["ACBR_FALSA_NOME"] = std::nullopt;
        opcoes.ambiente["ACBR_FALSA_VERSAO"] = std::nullopt;
        opcoes.ambiente["ACBR_FALSA_DEFEITO"] = std::nullopt;
        return opcoes;
    }

private:
    DiretorioTemporario temporario_;
};

class PastaGravavel : public testing::TestWithParam<Falsa> {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

// The first query writes the default file beside the bridge; the next one reads what the host
// put there meanwhile.
TEST_P(PastaGravavel, AprimeiraConsultaCriaOArquivoEAsSeguintesOLeem) {
    Instalacao instalacao(GetParam());
    ASSERT_FALSE(fs::exists(instalacao.configuracao()));
    Filho filho(instalacao.opcoes());
    ASSERT_TRUE(filho.iniciado());
    ASSERT_TRUE(filho.escrever(versao, daqui_a(10s)));
    EXPECT_EQ(filho.ler_linha(daqui_a(10s)), padrao);
    EXPECT_EQ(ler_binario(instalacao.configuracao()), conteudo_padrao());

    std::ofstream(instalacao.configuracao(), std::ios::app) << "Nome=Editado pelo hospedeiro\n";
    ASSERT_TRUE(filho.escrever(versao, daqui_a(10s)));
    EXPECT_EQ(filho.ler_linha(daqui_a(10s)),
              "{\"ok\":true,\"nome\":\"Editado pelo hospedeiro\",\"versao\":\"0.0.0-falsa\"}\n");
    filho.fechar_entrada();
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    EXPECT_EQ(filho.erro(), "");
    const std::string ciclo = ciclo_registrado(configuracao_ao_lado_de(instalacao.executavel()));
    EXPECT_EQ(ler_texto(instalacao.registro()), ciclo + ciclo);
}

std::vector<Falsa> todas() {
    std::vector<Falsa> lista = {falsa_c()};
    for (auto& falsa : falsas_pascal(false)) lista.push_back(falsa);
    return lista;
}

INSTANTIATE_TEST_SUITE_P(Configuracao, PastaGravavel, testing::ValuesIn(todas()),
                         [](const testing::TestParamInfo<Falsa>& info) { return info.param.nome; });

// How this test runs the bridge as a user who cannot write its folder: as root, the folder
// stays root's and the bridge runs as the unprivileged user 65534 through setpriv; as anyone
// else, the folder loses its write permission.
struct OutroUsuario {
    std::vector<std::string> prefixo;  // empty: the bridge runs as this test's user
    std::string sem_escrita;           // why it cannot run (empty when it can)
};

OutroUsuario usuario_sem_escrita() {
#ifdef _WIN32
    return {{}, "a folder this user cannot write is made with POSIX permissions only"};
#else
    if (::geteuid() != 0) return {};
    for (const char* setpriv : {"/usr/bin/setpriv", "/bin/setpriv"}) {
        if (!fs::exists(setpriv)) continue;
        const std::vector<std::string> prefixo = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        std::string teste;
        for (const auto& palavra : prefixo) teste += palavra + " ";
        if (std::system((teste + "true").c_str()) != 0) return {{}, "setpriv cannot switch to uid 65534 here"};
        return {prefixo, ""};
    }
    return {{}, "running as root without setpriv: no user who cannot write the folder"};
#endif
}

struct Caso {
    const char* nome;
    std::optional<std::string> conteudo;  // of the configuration file already there
    fs::perms modo;                       // that file's permissions
    std::map<std::string, std::string> ambiente;
    std::string resposta;
};

const std::string instalado = "[Principal]\r\nLogNivel=4\r\n\r\n[Falsa]\r\nNome=ACBr da instalação\r\nVersao=1.2.3\r\n";
const auto legivel = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

const std::vector<Caso> casos = {
    // clang-format off
    {"SemArquivo",        std::nullopt, fs::perms::none, {}, recusada},
    {"ArquivoLegivel",    instalado,    legivel,         {},
     "{\"ok\":true,\"nome\":\"ACBr da instalação\",\"versao\":\"1.2.3\"}\n"},
    // The stand-in's environment comes before its file.
    {"AmbienteAntes",     instalado,    legivel,         {{"ACBR_FALSA_NOME", "Do ambiente"}},
     "{\"ok\":true,\"nome\":\"Do ambiente\",\"versao\":\"1.2.3\"}\n"},
    {"ArquivoIlegivel",   instalado,    fs::perms::none, {}, recusada},
    // clang-format on
};

struct Combinacao {
    Falsa falsa;
    Caso caso;
};

void PrintTo(const Combinacao& c, std::ostream* saida) { *saida << c.caso.nome << "/" << c.falsa.nome; }

std::vector<Combinacao> combinacoes() {
    std::vector<Combinacao> lista;
    for (const auto& falsa : todas())
        for (const auto& caso : casos) lista.push_back({falsa, caso});
    return lista;
}

class PastaSemEscrita : public testing::TestWithParam<Combinacao> {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

TEST_P(PastaSemEscrita, RespostaExataEArquivoIntocado) {
    const auto& [falsa, caso] = GetParam();
    const OutroUsuario usuario = usuario_sem_escrita();
    if (!usuario.sem_escrita.empty()) GTEST_SKIP() << usuario.sem_escrita;
    Instalacao instalacao(falsa);
    if (caso.conteudo) {
        std::ofstream(instalacao.configuracao(), std::ios::binary) << *caso.conteudo;
        fs::permissions(instalacao.configuracao(), caso.modo);
    }
    if (usuario.prefixo.empty()) {
        fs::permissions(instalacao.pasta(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        // A user who writes anyway (with CAP_DAC_OVERRIDE) cannot show the failure.
        if (std::ofstream(instalacao.pasta() / "teste")) {
            GTEST_SKIP() << "this user writes in a read-only folder";
        }
    }

    Opcoes opcoes = instalacao.opcoes();
    opcoes.prefixo = usuario.prefixo;
    // A coverage build's bridge writes its counters beside its objects, which the other user
    // cannot write; it would say so on standard error. Elsewhere the variable means nothing.
    if (!usuario.prefixo.empty()) opcoes.ambiente["GCOV_PREFIX"] = instalacao.registro().parent_path().string();
    for (const auto& [nome, valor] : caso.ambiente) opcoes.ambiente[nome] = valor;
    const Resultado r = rodar(opcoes, versao + versao);
    EXPECT_EQ(descrever(r.status), "exit 0");
    // Each query tries anew: nothing is remembered between them.
    EXPECT_EQ(r.saida, caso.resposta + caso.resposta);
    EXPECT_EQ(r.erro, "");

    if (caso.conteudo) {
        fs::permissions(instalacao.configuracao(), legivel);
        EXPECT_EQ(ler_binario(instalacao.configuracao()), *caso.conteudo);
    } else {
        EXPECT_FALSE(fs::exists(instalacao.configuracao()));
    }
    const std::string configuracao = configuracao_ao_lado_de(instalacao.executavel());
    const std::string consulta = caso.resposta == recusada
                                     ? "carregar\ninicializar\nconfiguracao " + configuracao + "\ndescarregar\n"
                                     : ciclo_registrado(configuracao);
    EXPECT_EQ(ler_texto(instalacao.registro()), consulta + consulta);
}

INSTANTIATE_TEST_SUITE_P(Configuracao, PastaSemEscrita, testing::ValuesIn(combinacoes()),
                         [](const testing::TestParamInfo<Combinacao>& info) {
                             return std::string(info.param.caso.nome) + "_" + info.param.falsa.nome;
                         });

}  // namespace
}  // namespace ponte::testes
