#include "acbr/versao.hpp"
#include "acbr/mensagens.hpp"
#include "ambiente.hpp"
#include "comum/json_valido.hpp"
#include "protocolo/resposta.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::protocolo {
void PrintTo(const Resposta& r, std::ostream* saida) {
    *saida << "{ok=" << r.ok << " nome=" << testing::PrintToString(r.nome)
           << " versao=" << testing::PrintToString(r.versao) << " erro=" << testing::PrintToString(r.erro) << "}";
}
}  // namespace ponte::protocolo

namespace ponte::acbr {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using protocolo::Resposta;
using Registro = std::vector<std::string>;

const fs::path falsa_padrao = PONTE_FALSA_PADRAO;
const fs::path variantes = PONTE_FALSA_VARIANTES;

// The stand-in's environment, isolated from the developer's for one test.
struct AmbienteDaFalsa {
    explicit AmbienteDaFalsa(const fs::path& registro) : registro("ACBR_FALSA_REGISTRO", registro.string()) {}
    testes::VariavelDeAmbiente registro;
    testes::VariavelDeAmbiente nome{"ACBR_FALSA_NOME", std::nullopt};
    testes::VariavelDeAmbiente versao{"ACBR_FALSA_VERSAO", std::nullopt};
};

#ifdef PONTE_ARQUIVO_DA_LIB

const std::string arquivo = PONTE_ARQUIVO_DA_LIB;

// The configuration file's line follows the initialisation.
Registro registro_inicializado(std::initializer_list<std::string> depois_de_inicializar) {
    Registro linhas = {"carregar", "inicializar", "configuracao " + testes::configuracao_deste_executavel()};
    linhas.insert(linhas.end(), depois_de_inicializar);
    return linhas;
}

const Registro so_carga = {"carregar", "descarregar"};

std::string ate_a_capacidade(const std::string& texto) { return texto + std::string(8192 - texto.size(), '\0'); }

enum class Colocacao { copia, ausente, diretorio, link, link_pendente, nao_biblioteca };

struct Caso {
    const char* nome;
    const char* variante;  // nullptr: the default stand-in
    Colocacao colocacao;
    Resposta esperada;  // "{lib}" in erro stands for the library path
    bool so_prefixo;    // erro goes on with the loader's own description
    Registro registro;
};

void PrintTo(const Caso& caso, std::ostream* saida) { *saida << caso.nome; }

const Resposta padrao = Resposta::sucesso("ACBrLibNFe (falsa)", "0.0.0-falsa");

std::vector<Caso> casos() {
    using enum Colocacao;
    const auto falha = Resposta::falha;
    const auto sucesso = Resposta::sucesso;
    const auto cheio = sucesso(ate_a_capacidade("ACBrLibNFe (falsa)"), ate_a_capacidade("0.0.0-falsa"));
    const Registro ciclo = registro_inicializado({"nome", "versao", "finalizar", "descarregar"});
    const Registro sem_nome = registro_inicializado({"versao", "finalizar", "descarregar"});
    const Registro sem_textos = registro_inicializado({"finalizar", "descarregar"});
    // This variant fails before it looks at its configuration.
    const Registro init_falhou = {"carregar", "inicializar", "descarregar"};
    const auto ausente_em = falha("biblioteca não encontrada em {lib}");
    const auto carga = falha("não foi possível carregar a lib: ");
    // clang-format off
    return {
        {"Sucesso",             nullptr, copia,          padrao,     false, ciclo},
        {"LinkParaOArquivo",    nullptr, link,           padrao,     false, ciclo},
        {"Ausente",             nullptr, ausente,        ausente_em, false, {}},
        {"LinkPendente",        nullptr, link_pendente,  ausente_em, false, {}},
        {"Diretorio",           nullptr, diretorio,      carga,      true,  {}},
        {"NaoEBiblioteca",      nullptr, nao_biblioteca, carga,      true,  {}},
        {"SemInicializar",      "sem_inicializar",     copia, falha("NFE_Inicializar ausente: "), true, so_carga},
        {"SemFinalizar",        "sem_finalizar",       copia, falha("NFE_Finalizar ausente: "), true, so_carga},
        {"InicializarFalha",    "inicializar_falha",   copia, falha("NFE_Inicializar devolveu -1"), false, init_falhou},
        {"SemNome",             "sem_nome",            copia, sucesso(std::nullopt, "0.0.0-falsa"), false, sem_nome},
        {"SemNomeNemVersao",    "sem_nome_nem_versao", copia, sucesso(std::nullopt, std::nullopt), false, sem_textos},
        {"NomeFalha",           "nome_falha",          copia, sucesso(std::nullopt, "0.0.0-falsa"), false, ciclo},
        {"TamanhoNegativo",     "tamanho_negativo",    copia, sucesso("", ""), false, ciclo},
        {"TamanhoAcima",        "tamanho_acima",       copia, cheio, false, ciclo},
        {"TamanhoCheio",        "tamanho_cheio",       copia, cheio, false, ciclo},
        {"TamanhoComNul",       "tamanho_com_nul",     copia, sucesso("ACBrLibNFe (falsa)\0"s, "0.0.0-falsa\0"s), false, ciclo},
        {"PaginaDeCodigo",      "pagina_de_codigo",    copia, sucesso("Biblioteca de Emiss\uFFFDo", "Vers\uFFFDo 1.0"), false, ciclo},
        {"ComEspacos",          "com_espacos",         copia, sucesso("ACBrLibNFe  \t (falsa)", "0.0.0\t-falsa"), false, ciclo},
        {"CaracteresEspeciais", "caracteres_especiais", copia,
         sucesso("ACBr \"falsa\" em C:\\ACBr\\", "0.0.0\x1b[1m\x01\x1f\x7f-falsa"), false, ciclo},
        {"EscreveAlem",         "escreve_alem",        copia, padrao, false, ciclo},
#if defined(_WIN32) && defined(__i386__)
        // The StdCall build, whose entry points pop their own arguments.
        {"StdCall",             "stdcall",             copia, padrao, false, ciclo},
#endif
#ifdef __linux__
        // Found at address 0 with no loader error: never called.
        {"NomeEnderecoNulo",    "nome_endereco_nulo",  copia, sucesso(std::nullopt, "0.0.0-falsa"), false, sem_nome},
        {"InicializarEnderecoNulo", "inicializar_endereco_nulo", copia,
         falha("NFE_Inicializar ausente: símbolo sem endereço"), false, so_carga},
#endif
    };
    // clang-format on
}

// False where the system makes no symbolic links for this process.
bool criar_link(const fs::path& alvo, const fs::path& link) {
#ifdef _WIN32
    // libstdc++ has no create_symlink for Windows; the system may refuse without privilege, and
    // Wine answers success without making anything, so the link must be seen to exist.
    if (::CreateSymbolicLinkW(link.c_str(), alvo.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) == 0)
        return false;
    const DWORD atributos = ::GetFileAttributesW(link.c_str());
    return atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    fs::create_symlink(alvo, link);
    return true;
#endif
}

// False when the placement cannot be made here (a symbolic link on Windows).
bool colocar(const Caso& caso, const fs::path& lib, const fs::path& temporario) {
    const fs::path origem = caso.variante ? variantes / caso.variante / arquivo : falsa_padrao;
    switch (caso.colocacao) {
    case Colocacao::copia: fs::copy_file(origem, lib); break;
    case Colocacao::ausente: break;
    case Colocacao::diretorio: fs::create_directory(lib); break;
    case Colocacao::link: fs::copy_file(origem, temporario / "alvo.so"); return criar_link(temporario / "alvo.so", lib);
    case Colocacao::link_pendente: return criar_link(temporario / "nada.so", lib);
    case Colocacao::nao_biblioteca: std::ofstream(lib) << "isto não é uma biblioteca\n"; break;
    }
    return true;
}

class VersaoContraAFalsa : public testing::TestWithParam<Caso> {};

TEST_P(VersaoContraAFalsa, RespostaERegistro) {
    const auto& caso = GetParam();
    testes::DiretorioTemporario temporario;
    const fs::path dir = temporario.caminho() / "acbr";
    fs::create_directory(dir);
    const fs::path lib = dir / arquivo;
    if (!colocar(caso, lib, temporario.caminho())) GTEST_SKIP() << "no symbolic links for this process here";
    AmbienteDaFalsa falsa(temporario.caminho() / "registro");
    testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", dir.string());

    const auto resposta = versao();
    const auto linha = protocolo::codificar(resposta);
    ASSERT_TRUE(linha.has_value());
    EXPECT_TRUE(testes::uma_linha_de_json_valido(*linha)) << *linha;

    auto esperada = caso.esperada;
    if (esperada.erro) {
        if (const auto marca = esperada.erro->find("{lib}"); marca != std::string::npos) {
            esperada.erro->replace(marca, 5, lib.string());
        }
    }
    if (caso.so_prefixo) {
        ASSERT_TRUE(resposta.erro.has_value());
        EXPECT_FALSE(resposta.ok);
        EXPECT_FALSE(resposta.nome || resposta.versao);
        EXPECT_TRUE(resposta.erro->starts_with(*esperada.erro)) << *resposta.erro;
        EXPECT_GT(resposta.erro->size(), esperada.erro->size()) << "sem a descrição do carregador";
    } else {
        EXPECT_EQ(resposta, esperada);
    }
    EXPECT_EQ(testes::ler_registro(temporario.caminho() / "registro"), caso.registro);
}

INSTANTIATE_TEST_SUITE_P(Casos, VersaoContraAFalsa, testing::ValuesIn(casos()),
                         [](const testing::TestParamInfo<Caso>& info) { return std::string(info.param.nome); });

TEST(Versao, DuasConsultasSaoDoisCiclos) {
    testes::DiretorioTemporario temporario;
    AmbienteDaFalsa falsa(temporario.caminho() / "registro");
    testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", falsa_padrao.parent_path().string());
    EXPECT_EQ(versao(), padrao);
    EXPECT_EQ(versao(), padrao);
    const Registro ciclo = registro_inicializado({"nome", "versao", "finalizar", "descarregar"});
    Registro dois = ciclo;
    dois.insert(dois.end(), ciclo.begin(), ciclo.end());
    EXPECT_EQ(testes::ler_registro(temporario.caminho() / "registro"), dois);
}

TEST(Versao, TextosDoAmbienteDaFalsa) {
    testes::DiretorioTemporario temporario;
    AmbienteDaFalsa falsa(temporario.caminho() / "registro");
    testes::VariavelDeAmbiente nome("ACBR_FALSA_NOME", "ACBrLib NFe MT");
    testes::VariavelDeAmbiente versao_falsa("ACBR_FALSA_VERSAO", "1.2.3.4");
    testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", falsa_padrao.parent_path().string());
    EXPECT_EQ(versao(), Resposta::sucesso("ACBrLib NFe MT", "1.2.3.4"));
}

// An empty ACBR_DIR is the working directory: the library there is the one loaded, never one
// found by the loader's own search, and texts show the path as formed.
TEST(Versao, AcbrDirVazioEODiretorioDeTrabalho) {
    testes::DiretorioTemporario temporario;
    AmbienteDaFalsa falsa(temporario.caminho() / "registro");
    testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", "");
    const fs::path trabalho = temporario.caminho() / "trabalho";
    fs::create_directory(trabalho);
    testes::DiretorioDeTrabalho mudanca(trabalho);

    EXPECT_EQ(versao(), Resposta::falha("biblioteca não encontrada em " + arquivo));

    fs::copy_file(falsa_padrao, trabalho / arquivo);
    EXPECT_EQ(versao(), padrao);
    EXPECT_EQ(testes::ler_registro(temporario.caminho() / "registro"),
              registro_inicializado({"nome", "versao", "finalizar", "descarregar"}));
}

#else

TEST(Versao, PlataformaNaoPublicadaIgnoraODiretorio) {
    testes::VariavelDeAmbiente acbr_dir("ACBR_DIR", falsa_padrao.parent_path().string());
    EXPECT_EQ(versao(), Resposta::falha(std::string(mensagens::plataforma)));
}

#endif

}  // namespace
}  // namespace ponte::acbr
