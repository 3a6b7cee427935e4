// The bridge as the host sees it: bytes in, bytes out, nothing on standard error, exit 0.
#include "comum/json_valido.hpp"
#include "processo/filho.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ponte::testes {
namespace {

using namespace std::chrono_literals;

std::string invalido(std::string_view diagnostico) {
    return R"({"ok":false,"erro":"comando inválido: )" + std::string(diagnostico) + "\"}\n";
}

const std::string sem_cmd = invalido("missing field `cmd` at line 1 column 2");

Opcoes ponte_padrao() {
    Opcoes opcoes;
    opcoes.executavel = PONTE_EXECUTAVEL;
    // Never reach a library: these cases are about the lines, not the version query.
    opcoes.ambiente["ACBR_DIR"] = "/nonexistent";
    return opcoes;
}

void esperar_saida_limpa(const Resultado& r, std::string_view esperado) {
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, esperado);
    EXPECT_TRUE(linhas_de_json_validas(r.saida)) << r.saida;
    EXPECT_EQ(r.erro, "");
}

struct Caso {
    const char* nome;
    std::string entrada;
    std::string saida;
};
// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Caso& linha, std::ostream* saida) { *saida << linha.nome; }

class Linhas : public testing::TestWithParam<Caso> {};

TEST_P(Linhas, RespondeUmaLinhaPorComando) {
    esperar_saida_limpa(rodar(ponte_padrao(), GetParam().entrada), GetParam().saida);
}

INSTANTIATE_TEST_SUITE_P(
    Processo, Linhas,
    testing::Values(
        Caso{"vazia", "", ""}, Caso{"brancas", "\n  \n\t\n\r\n\r\r\n\xC2\xA0\n\xE3\x80\x80\n \t\xC2\xA0\r\n", ""},
        Caso{"branca_e_depois_comando", "\n \n{}\n", sem_cmd}, Caso{"cr_lf", "{}\r\n[]\r\n", sem_cmd + sem_cmd},
        // The CR stays in the line and counts in the column.
        Caso{"cr_no_meio", "{\"cmd\":\r\"nope\"}\n",
             invalido("unknown variant `nope`, expected `versao` at line 1 column 14")},
        Caso{"bom", "\xEF\xBB\xBF{\"cmd\":\"versao\"}\n", invalido("expected value at line 1 column 1")},
        Caso{"nbsp_antes", "\xC2\xA0{}\xE3\x80\x80\n", sem_cmd}, Caso{"ultima_sem_lf", "{}\n{}", sem_cmd + sem_cmd},
        Caso{"ultima_sem_lf_com_cr", "{}\r", sem_cmd},
        Caso{"utf8_invalido_encerra", "{}\n[]\n\xFF\n{}\n", sem_cmd + sem_cmd},
        Caso{"sobrelongo_encerra", "{}\n\xC0\x80\n{}\n", sem_cmd},
        // Bytes pass untranslated (binary streams on Windows): Ctrl-Z does not end the input.
        Caso{"ctrl_z_nao_encerra", "\x1A\n{}\n", invalido("expected value at line 1 column 1") + sem_cmd},
        Caso{"tres_de_uma_vez", "{}\n{\"cmd\":1}\n[]\n",
             sem_cmd + invalido("invalid type: integer `1`, expected variant identifier at line 1 column 8") + sem_cmd},
        Caso{"comando_em_duas_linhas", "{\n}\n",
             invalido("EOF while parsing an object at line 1 column 1") +
                 invalido("expected value at line 1 column 1")}),
    [](const testing::TestParamInfo<Caso>& info) { return std::string(info.param.nome); });

TEST(Processo, IgnoraArgumentos) {
    Opcoes opcoes = ponte_padrao();
    opcoes.argumentos = {"--help", "-v", "{\"cmd\":\"versao\"}"};
    esperar_saida_limpa(rodar(opcoes, "{}\n"), sem_cmd);
}

TEST(Processo, LinhaLongaEhAtendida) {
    std::string linha = "{\"x\":\"" + std::string(32 * 1024 * 1024, 'a') + "\",\"cmd\":\"nope\"}";
    const std::string esperado =
        invalido("unknown variant `nope`, expected `versao` at line 1 column " + std::to_string(linha.size() - 1));
    linha += "\n{}\n";
    esperar_saida_limpa(rodar(ponte_padrao(), linha, 60s), esperado + sem_cmd);
}

TEST(Processo, RespondeCadaLinhaAntesDeLerAProxima) {
    Filho filho(ponte_padrao());
    ASSERT_TRUE(filho.iniciado());
    const std::vector<std::pair<std::string, std::string>> trocas = {
        {"{}\n", sem_cmd},
        {"\n\n", ""},  // nothing for blank lines: the next answer is the next command's
        {"{\"cmd\":null}\r\n", invalido("invalid type: null, expected variant identifier at line 1 column 11")},
        {"[]\n", sem_cmd},
    };
    for (const auto& [entrada, resposta] : trocas) {
        ASSERT_TRUE(filho.escrever(entrada, daqui_a(10s)));
        if (!resposta.empty()) {
            EXPECT_EQ(filho.ler_linha(daqui_a(10s)), resposta);
        }
    }
    // A command without its line feed waits for it.
    ASSERT_TRUE(filho.escrever("{}", daqui_a(10s)));
    EXPECT_EQ(filho.ler_linha(daqui_a(300ms)), std::nullopt);
    filho.fechar_entrada();
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    EXPECT_EQ(filho.saida(), sem_cmd + trocas[2].second + sem_cmd + sem_cmd);
    EXPECT_EQ(filho.erro(), "");
}

// Closed standard descriptors at start: the bridge runs on /dev/null in their place.
struct Fechados {
    const char* nome;
    bool entrada, saida, erro;
    std::string saida_esperada;
};
// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Fechados& linha, std::ostream* saida) { *saida << linha.nome; }

class DescritoresFechados : public testing::TestWithParam<Fechados> {};

TEST_P(DescritoresFechados, TerminaComZero) {
    Opcoes opcoes = ponte_padrao();
    opcoes.fechar_entrada = GetParam().entrada;
    opcoes.fechar_saida = GetParam().saida;
    opcoes.fechar_erro = GetParam().erro;
    const Resultado r = rodar(opcoes, "{}\n[]\n");
    EXPECT_EQ(descrever(r.status), "exit 0");
    EXPECT_EQ(r.saida, GetParam().saida_esperada);
    EXPECT_EQ(r.erro, "");
}

INSTANTIATE_TEST_SUITE_P(Processo, DescritoresFechados,
                         testing::Values(Fechados{"entrada", true, false, false, ""},
                                         Fechados{"saida_e_erro", false, true, true, ""},
                                         Fechados{"erro", false, false, true, sem_cmd + sem_cmd},
                                         Fechados{"todos", true, true, true, ""}),
                         [](const testing::TestParamInfo<Fechados>& info) { return std::string(info.param.nome); });

TEST(Processo, EntradaNaoBloqueanteSemDadosEncerra) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows pipes give a child no non-blocking standard input";
#endif
    Opcoes opcoes = ponte_padrao();
    opcoes.entrada_nao_bloqueante = true;
    opcoes.entrada_previa = "{}\n";
    Filho filho(opcoes);
    ASSERT_TRUE(filho.iniciado());
    // The input stays open: only the failed read (EAGAIN) can end the loop.
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    EXPECT_EQ(filho.saida(), sem_cmd);
    EXPECT_EQ(filho.erro(), "");
}

TEST(Processo, HospedeQueFechaASaidaNaoMataPorSigpipe) {
    Filho filho(ponte_padrao());
    ASSERT_TRUE(filho.iniciado());
    filho.fechar_leitura_da_saida();
    ASSERT_TRUE(filho.escrever("{}\n", daqui_a(10s)));
    // The input stays open: the failed write alone must end the loop.
    EXPECT_EQ(descrever(filho.esperar(daqui_a(10s))), "exit 0");
    EXPECT_EQ(filho.erro(), "");
}

}  // namespace
}  // namespace ponte::testes
