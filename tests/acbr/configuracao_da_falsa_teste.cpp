// The stand-ins' configuration file when NFE_Inicializar is given its path, as the library's
// contract allows (the bridge itself always gives an empty one: see tests/processo for the file
// beside the executable). The same table runs against the C and the Free Pascal stand-in, which
// must read the same files the same way.
#include "acbr/carregador.hpp"
#include "acbr/pontos_de_entrada.hpp"
#include "ambiente.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#ifdef PONTE_ARQUIVO_DA_LIB

namespace ponte::acbr {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const std::string fim_de_linha = "\r\n";  // written in text mode
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

struct Falsa {
    std::string nome;
    fs::path arquivo;
};

std::vector<Falsa> falsas() {
    std::vector<Falsa> lista = {{"c", PONTE_FALSA_PADRAO}};
#ifdef PONTE_FALSA_PASCAL
    lista.push_back({"pascal", fs::path(PONTE_FALSA_VARIANTES) / "pascal" / PONTE_ARQUIVO_DA_LIB});
#endif
    return lista;
}

enum class Colocacao { arquivo, ausente, pasta, pasta_ausente };

struct Caso {
    const char* nome;
    Colocacao colocacao;
    const char* conteudo;                               // of the file placed there
    std::int32_t codigo;                                // NFE_Inicializar's
    std::optional<std::string> nome_lido, versao_lido;  // nullopt: the stand-in's default
};

const std::vector<Caso> casos = {
    // clang-format off
    {"ChavesDaFalsa",        Colocacao::arquivo, "[Falsa]\nNome=N\nVersao=V\n", 0, "N", "V"},
    // A byte order mark, CR LF, blanks around everything, names in any ASCII case; an empty
    // value is an empty text, and Nome outside [Falsa] is not the stand-in's.
    {"BomCrLfBrancosECaixa", Colocacao::arquivo,
     "\xEF\xBB\xBF[Principal]\r\nNome=Errado\r\n [ falsa ] \r\n\tNOME = Com  espa\xC3\xA7o \t\r\nversao=\r\n", 0,
     "Com  espa\xC3\xA7o", ""},
    {"ComentariosESemIgual", Colocacao::arquivo, "[Falsa]\n; Nome=C1\n# Versao=C2\nNome\nOutra=1\n", 0, {}, {}},
    // The first occurrence counts, even in a repeated section; the last line has no line end.
    {"PrimeiraOcorrencia",   Colocacao::arquivo,
     "[Falsa]\nNome=Primeiro\n[Outra]\nVersao=Outra\n[Falsa]\nNome=Segundo\nVersao=a=b", 0, "Primeiro", "a=b"},
    {"Vazio",                Colocacao::arquivo, "", 0, {}, {}},
    {"AusenteECriado",       Colocacao::ausente, nullptr, 0, {}, {}},
    {"UmaPasta",             Colocacao::pasta, nullptr, -1, {}, {}},
    {"NumaPastaAusente",     Colocacao::pasta_ausente, nullptr, -1, {}, {}},
    // clang-format on
};

struct Combinacao {
    Falsa falsa;
    Caso caso;
};

void PrintTo(const Combinacao& c, std::ostream* saida) { *saida << c.caso.nome << "/" << c.falsa.nome; }

std::vector<Combinacao> combinacoes() {
    std::vector<Combinacao> lista;
    for (const auto& falsa : falsas())
        for (const auto& caso : casos) lista.push_back({falsa, caso});
    return lista;
}

template <typename Funcao>
Funcao entrada(const carregador::Biblioteca& biblioteca, const char* nome) {
    auto endereco = carregador::procurar(biblioteca, nome);
    if (!std::holds_alternative<void*>(endereco)) throw std::runtime_error(std::string("no ") + nome);
    return Funcao(std::get<void*>(endereco));
}

std::string texto(FuncaoTexto funcao, void* handle) {
    std::array<char, 8192> buffer{};
    std::int32_t tamanho = buffer.size();
    if (funcao(handle, buffer.data(), &tamanho) != 0) return "(failed)";
    return {buffer.data(), static_cast<std::size_t>(tamanho)};
}

std::string ler_binario(const fs::path& arquivo) {
    std::ifstream entrada(arquivo, std::ios::binary);
    return {std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>()};
}

class ConfiguracaoDada : public testing::TestWithParam<Combinacao> {};

TEST_P(ConfiguracaoDada, LidaCriadaOuRecusada) {
    const auto& [falsa, caso] = GetParam();
    testes::DiretorioTemporario temporario;
    fs::path configuracao = temporario.caminho() / "outra.ini";
    switch (caso.colocacao) {
    case Colocacao::arquivo: std::ofstream(configuracao, std::ios::binary) << caso.conteudo; break;
    case Colocacao::ausente: break;
    case Colocacao::pasta: fs::create_directory(configuracao); break;
    case Colocacao::pasta_ausente: configuracao = temporario.caminho() / "nada" / "outra.ini"; break;
    }
    const auto caminho_u8 = configuracao.u8string();
    const std::string caminho(caminho_u8.begin(), caminho_u8.end());
    const fs::path registro = temporario.caminho() / "registro";
    testes::VariavelDeAmbiente registrar("ACBR_FALSA_REGISTRO", registro.string());
    testes::VariavelDeAmbiente nome("ACBR_FALSA_NOME", std::nullopt);
    testes::VariavelDeAmbiente versao("ACBR_FALSA_VERSAO", std::nullopt);

    auto aberta = carregador::abrir(falsa.arquivo.string());
    ASSERT_TRUE(std::holds_alternative<carregador::Biblioteca>(aberta));
    const auto& biblioteca = std::get<carregador::Biblioteca>(aberta);
    void* handle = nullptr;
    ASSERT_EQ(entrada<FuncaoInicializar>(biblioteca, "NFE_Inicializar")(&handle, caminho.c_str(), ""), caso.codigo);
    if (caso.codigo == 0) {
        EXPECT_EQ(texto(entrada<FuncaoTexto>(biblioteca, "NFE_Nome"), handle),
                  caso.nome_lido.value_or("ACBrLibNFe (falsa)"));
        EXPECT_EQ(texto(entrada<FuncaoTexto>(biblioteca, "NFE_Versao"), handle),
                  caso.versao_lido.value_or("0.0.0-falsa"));
        EXPECT_EQ(entrada<FuncaoFinalizar>(biblioteca, "NFE_Finalizar")(handle), 0);
    }
    // Read, never rewritten; or written when it was missing.
    if (caso.colocacao == Colocacao::arquivo) {
        EXPECT_EQ(ler_binario(configuracao), caso.conteudo);
    } else if (caso.colocacao == Colocacao::ausente) {
        EXPECT_EQ(ler_binario(configuracao), conteudo_padrao());
    }
    const auto linhas = testes::ler_registro(registro);
    ASSERT_GE(linhas.size(), 3U);
    EXPECT_EQ(linhas[1], "inicializar");
    EXPECT_EQ(linhas[2], "configuracao " + caminho);
}

INSTANTIATE_TEST_SUITE_P(Falsas, ConfiguracaoDada, testing::ValuesIn(combinacoes()),
                         [](const testing::TestParamInfo<Combinacao>& info) {
                             return std::string(info.param.caso.nome) + "_" + info.param.falsa.nome;
                         });

}  // namespace
}  // namespace ponte::acbr

#endif
