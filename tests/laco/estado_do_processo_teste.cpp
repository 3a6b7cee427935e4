// What a library may leave changed in the process comes back as it was captured: each row
// changes one thing, restaurar() must undo it.
#include "laco/estado_do_processo.hpp"
#include "comum/diretorio_temporario.hpp"

#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;
using laco::EstadoDoProcesso;

void tratador_da_biblioteca(int) {}

// What the test compares, before and after: the visible state of the process.
struct Retrato {
    int arredondamento = 0;
    double um_decimo = 0;  // computed now: how the arithmetic itself rounds
    std::string diretorio;
#ifdef _WIN32
    std::vector<void (*)(int)> tratadores;
#else
    std::vector<std::pair<void (*)(int), int> > disposicoes;  // handler and flags, per signal
    std::vector<bool> bloqueados;
#endif
    bool operator==(const Retrato&) const = default;
};

Retrato retratar() {
    Retrato retrato;
    retrato.arredondamento = std::fegetround();
    volatile double um = 1.0, dez = 10.0;
    retrato.um_decimo = um / dez;
    retrato.diretorio = fs::current_path().string();
#ifdef _WIN32
    // The C runtime tells a handler only by setting another: each one is put straight back.
    for (const int sinal : EstadoDoProcesso::sinais) {
        auto* const tratador = std::signal(sinal, SIG_DFL);
        std::signal(sinal, tratador);
        retrato.tratadores.push_back(tratador);
    }
#else
    for (const int sinal : EstadoDoProcesso::sinais) {
        struct sigaction acao {};
        ::sigaction(sinal, nullptr, &acao);
        // Only the flags a program sets: the C library adds its own when it installs a disposition.
        constexpr int flags = SA_SIGINFO | SA_RESTART | SA_NODEFER | SA_RESETHAND | SA_ONSTACK | SA_NOCLDSTOP;
        retrato.disposicoes.emplace_back(acao.sa_handler, acao.sa_flags & flags);
    }
    sigset_t mascara;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mascara);
    for (const int sinal : EstadoDoProcesso::sinais) retrato.bloqueados.push_back(sigismember(&mascara, sinal) == 1);
#endif
    return retrato;
}

struct Mudanca {
    const char* nome;
    std::function<void(const fs::path& temporario)> mudar;
};

void PrintTo(const Mudanca& mudanca, std::ostream* saida) { *saida << mudanca.nome; }

std::vector<Mudanca> mudancas() {
    return {
        {"arredondamento", [](const fs::path&) { std::fesetround(FE_TOWARDZERO); }},
        {"diretorio", [](const fs::path& temporario) { fs::current_path(temporario); }},
#ifndef _WIN32
        {"sigpipe_padrao", [](const fs::path&) { std::signal(SIGPIPE, SIG_DFL); }},
        {"tratadores",
         [](const fs::path&) {
             for (const int sinal : EstadoDoProcesso::sinais) std::signal(sinal, tratador_da_biblioteca);
         }},
        {"sigterm_bloqueado",
         [](const fs::path&) {
             sigset_t mascara;
             sigemptyset(&mascara);
             sigaddset(&mascara, SIGTERM);
             ::pthread_sigmask(SIG_BLOCK, &mascara, nullptr);
         }},
#else
        {"tratadores",
         [](const fs::path&) {
             for (const int sinal : EstadoDoProcesso::sinais) std::signal(sinal, tratador_da_biblioteca);
         }},
#endif
    };
}

class Restauracao : public testing::TestWithParam<Mudanca> {};

TEST_P(Restauracao, VoltaAoQueEra) {
    DiretorioTemporario temporario;
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);  // as the bridge starts
#endif
    const EstadoDoProcesso estado = EstadoDoProcesso::capturar();
    const Retrato antes = retratar();
    GetParam().mudar(temporario.caminho());
    EXPECT_NE(retratar(), antes) << "the row changes nothing";
    estado.restaurar();
    EXPECT_EQ(retratar(), antes);
}

INSTANTIATE_TEST_SUITE_P(EstadoDoProcesso, Restauracao, testing::ValuesIn(mudancas()),
                         [](const testing::TestParamInfo<Mudanca>& info) { return std::string(info.param.nome); });

}  // namespace
}  // namespace ponte::testes
