// Whatever the library does inside a query, the host sees only the bridge's answers: what it
// writes to standard output goes nowhere, what it reads from standard input is the end, and what
// it changes in the process (signal dispositions, the floating-point environment, the working
// directory) is put back before the answer is written. The same table runs against the C and
// the Free Pascal stand-in.
#include "comum/diretorio_temporario.hpp"
#include "processo/falsas.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#endif
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string versao = "{\"cmd\":\"versao\"}\n";
const std::string sucesso = "{\"ok\":true,\"nome\":\"ACBrLibNFe (falsa)\",\"versao\":\"0.0.0-falsa\"}\n";
// Decoded in the floating-point environment the bridge started with: rounding toward zero
// would give 0.09999999999999999.
const std::string decimal = "{\"cmd\":0.1}\n";
const std::string resposta_decimal =
    "{\"ok\":false,\"erro\":\"comando inválido: invalid type: floating point `0.1`, expected variant identifier at line "
    "1 column 10\"}\n";
#ifdef _WIN32
const std::string linha_de_erro = "mensagem da biblioteca\r\n";  // the C runtime's text mode
#else
const std::string linha_de_erro = "mensagem da biblioteca\n";
#endif

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sob_sanitizador = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sob_sanitizador = true;
#else
constexpr bool sob_sanitizador = false;
#endif
#else
constexpr bool sob_sanitizador = false;
#endif

enum class Fim {
    saida_fechada,  // the host stops reading and sends one more query: exit 0, not SIGPIPE
    sigterm,        // the host sends SIGTERM: the default action, not a handler left behind
};

struct Caso {
    std::string defeito;
    Falsa falsa;
    bool escreve_no_erro = false;
    Fim fim = Fim::saida_fechada;
};

void PrintTo(const Caso& caso, std::ostream* saida) { *saida << caso.defeito << "/" << caso.falsa.nome; }

std::vector<Caso> casos() {
    struct Defeito {
        const char* nome;
        bool em_c, em_pascal, escreve_no_erro;
        Fim fim;
    };
    // clang-format off
    const std::vector<Defeito> defeitos = {
        {"nenhum",            true,  true,  false, Fim::saida_fechada},
        {"escreve_linha",     true,  true,  false, Fim::saida_fechada},
        {"escreve_sem_fim",   true,  true,  false, Fim::saida_fechada},
        {"escreve_descritor", true,  true,  false, Fim::saida_fechada},
        {"escreve_erro",      true,  true,  true,  Fim::saida_fechada},
        {"le_entrada",        true,  true,  false, Fim::saida_fechada},
        {"muda_diretorio",    true,  true,  false, Fim::saida_fechada},
        {"muda_fpu",          true,  true,  false, Fim::saida_fechada},
#ifndef _WIN32
        {"sigpipe_padrao",    true,  true,  false, Fim::saida_fechada},
        {"instala_sinais",    true,  true,  false, Fim::sigterm},
#endif
    };
    // clang-format on
    std::vector<Caso> lista;
    for (const auto& d : defeitos) {
        if (d.em_c) lista.push_back({d.nome, falsa_c(), d.escreve_no_erro, d.fim});
        if (d.em_pascal)
            for (auto& falsa : falsas_pascal(false)) lista.push_back({d.nome, falsa, d.escreve_no_erro, d.fim});
    }
    return lista;
}

std::string vezes(int n, const std::string& texto) {
    std::string todas;
    for (int i = 0; i < n; ++i) todas += texto;
    return todas;
}

class Defeitos : public testing::TestWithParam<Caso> {
protected:
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

TEST_P(Defeitos, OHospedeSoVeAsRespostas) {
    const Caso& caso = GetParam();
    DiretorioTemporario temporario;
    const fs::path registro = temporario.caminho() / "registro";
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    // Relative to the bridge's working directory, which a library may change.
    opcoes.diretorio = caso.falsa.diretorio.parent_path().string();
    opcoes.ambiente["ACBR_DIR"] = caso.falsa.diretorio.filename().string();
    opcoes.ambiente["ACBR_FALSA_DEFEITO"] = caso.defeito;
    opcoes.ambiente["ACBR_FALSA_REGISTRO"] = registro.string();
    opcoes.ambiente["ACBR_FALSA_NOME"] = std::nullopt;
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = std::nullopt;
    const std::string ciclo = ciclo_registrado(configuracao_ao_lado_de(PONTE_EXECUTAVEL));
    Filho filho(opcoes);
    ASSERT_TRUE(filho.iniciado());

    // One query at a time: a library that reads the host's input would hold the first answer.
    for (int consulta = 1; consulta <= 2; ++consulta) {
        ASSERT_TRUE(filho.escrever(versao, daqui_a(10s)));
        ASSERT_EQ(filho.ler_linha(daqui_a(10s)), sucesso) << "query " << consulta;
        // The answer comes after the library was unloaded.
        EXPECT_EQ(ler_texto(registro), vezes(consulta, ciclo)) << "query " << consulta;
    }
    ASSERT_TRUE(filho.escrever(decimal, daqui_a(10s)));
    EXPECT_EQ(filho.ler_linha(daqui_a(10s)), resposta_decimal);

    int consultas = 2;
    if (caso.fim == Fim::sigterm) {
#ifndef _WIN32
        ASSERT_EQ(::kill(filho.pid(), SIGTERM), 0);
        EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "signal 15");
#endif
    } else {
        filho.fechar_leitura_da_saida();
        ASSERT_TRUE(filho.escrever(versao, daqui_a(10s)));
        ++consultas;
        EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    }
    EXPECT_EQ(filho.saida(), sucesso + sucesso + resposta_decimal);
    EXPECT_EQ(filho.erro(), caso.escreve_no_erro ? vezes(consultas, linha_de_erro) : "");
}

// To the end of the input: what the library left in a buffer that is flushed when the process
// exits (C stdio's, for one) reaches no host either.
TEST_P(Defeitos, AteOFimDaEntrada) {
    const Caso& caso = GetParam();
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    opcoes.ambiente["ACBR_DIR"] = caso.falsa.diretorio.string();
    opcoes.ambiente["ACBR_FALSA_DEFEITO"] = caso.defeito;
    opcoes.ambiente["ACBR_FALSA_NOME"] = std::nullopt;
    opcoes.ambiente["ACBR_FALSA_VERSAO"] = std::nullopt;
    const Resultado r = rodar(opcoes, versao + versao);
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, sucesso + sucesso);
    EXPECT_EQ(r.erro, caso.escreve_no_erro ? vezes(2, linha_de_erro) : "");
}

INSTANTIATE_TEST_SUITE_P(Biblioteca, Defeitos, testing::ValuesIn(casos()),
                         [](const testing::TestParamInfo<Caso>& info) {
                             return info.param.defeito + "_" + info.param.falsa.nome;
                         });

// A library can still end the whole process: the host then sees the bridge end with the
// query's answer lost, never a partial line.
struct Queda {
    std::string defeito;
    Falsa falsa;
    std::string status;
    std::string erro_comeca_com;
};

void PrintTo(const Queda& queda, std::ostream* saida) { *saida << queda.defeito << "/" << queda.falsa.nome; }

std::vector<Queda> quedas() {
    std::vector<Queda> lista;
#ifndef _WIN32
    // Under AddressSanitizer its own handler reports the fault instead.
    if (!sob_sanitizador) lista.push_back({"acesso_nulo", falsa_c(), "signal 11", ""});
    for (auto& falsa : falsas_pascal(false)) {
        lista.push_back({"excecao", falsa, "exit 217", "An unhandled exception occurred at $"});
        if (!sob_sanitizador) lista.push_back({"acesso_nulo", falsa, "signal 11", ""});
    }
#endif
    return lista;
}

class Quedas : public testing::TestWithParam<Queda> {
protected:
    // Where no library is published none is loaded, so nothing can end the process.
    void SetUp() override {
        if (std::string(PONTE_ARQUIVO_DA_LIB).empty()) GTEST_SKIP() << "ACBrLib is not published for this platform";
    }
};

TEST_P(Quedas, ProcessoTerminaSemLinhaParcial) {
    const Queda& queda = GetParam();
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    opcoes.ambiente["ACBR_DIR"] = queda.falsa.diretorio.string();
    opcoes.ambiente["ACBR_FALSA_DEFEITO"] = queda.defeito;
    const Resultado r = rodar(opcoes, "{}\n" + versao + versao);
    EXPECT_EQ(descrever(r.status), queda.status);
    // The line before the query was answered; nothing after.
    EXPECT_EQ(r.saida, "{\"ok\":false,\"erro\":\"comando inválido: missing field `cmd` at line 1 column 2\"}\n");
    EXPECT_TRUE(r.erro.starts_with(queda.erro_comeca_com)) << r.erro;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Quedas);
INSTANTIATE_TEST_SUITE_P(Biblioteca, Quedas, testing::ValuesIn(quedas()),
                         [](const testing::TestParamInfo<Queda>& info) {
                             return info.param.defeito + "_" + info.param.falsa.nome;
                         });

}  // namespace
}  // namespace ponte::testes
