#include "processo/filho.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace ponte::testes {

Descritor& Descritor::operator=(Descritor&& outro) noexcept {
    if (this != &outro) {
        fechar();
        numero_ = outro.soltar();
    }
    return *this;
}

void Descritor::fechar() {
    if (numero_ >= 0) ::close(numero_);
    numero_ = -1;
}

int Descritor::soltar() {
    const int numero = numero_;
    numero_ = -1;
    return numero;
}

Prazo daqui_a(std::chrono::milliseconds tempo) { return std::chrono::steady_clock::now() + tempo; }

namespace {

struct Cano {
    Descritor leitura, escrita;
};

std::optional<Cano> abrir_cano() {
    std::array<int, 2> pontas{};
    if (::pipe2(pontas.data(), O_CLOEXEC) != 0) return std::nullopt;
    return Cano{Descritor(pontas[0]), Descritor(pontas[1])};
}

void tornar_nao_bloqueante(int descritor) { ::fcntl(descritor, F_SETFL, ::fcntl(descritor, F_GETFL) | O_NONBLOCK); }

std::vector<std::string> montar_ambiente(const Opcoes& opcoes) {
    std::vector<std::string> variaveis;
    for (char** item = environ; *item != nullptr; ++item) {
        const std::string_view texto(*item);
        const std::string nome(texto.substr(0, texto.find('=')));
        if (!opcoes.ambiente.contains(nome)) variaveis.emplace_back(texto);
    }
    for (const auto& [nome, valor] : opcoes.ambiente)
        if (valor) variaveis.push_back(nome + "=" + *valor);
    return variaveis;
}

std::vector<char*> ponteiros(std::vector<std::string>& textos) {
    std::vector<char*> lista;
    for (std::string& texto : textos) lista.push_back(texto.data());
    lista.push_back(nullptr);
    return lista;
}

// posix_spawn's C objects, destroyed on every path.
struct Acoes {
    posix_spawn_file_actions_t acoes{};
    posix_spawnattr_t atributos{};
    Acoes() {
        ::posix_spawn_file_actions_init(&acoes);
        ::posix_spawnattr_init(&atributos);
    }
    Acoes(const Acoes&) = delete;
    Acoes& operator=(const Acoes&) = delete;
    ~Acoes() {
        ::posix_spawnattr_destroy(&atributos);
        ::posix_spawn_file_actions_destroy(&acoes);
    }
};

// Connects (or closes) one standard descriptor of the child; `nossa` is the parent's end.
bool ligar(Acoes& a, int numero, bool fechar, bool filho_le, Descritor& nossa, Descritor& do_filho) {
    if (fechar) return ::posix_spawn_file_actions_addclose(&a.acoes, numero) == 0;
    auto cano = abrir_cano();
    if (!cano) return false;
    nossa = std::move(filho_le ? cano->escrita : cano->leitura);
    do_filho = std::move(filho_le ? cano->leitura : cano->escrita);
    tornar_nao_bloqueante(nossa.numero());
    return ::posix_spawn_file_actions_adddup2(&a.acoes, do_filho.numero(), numero) == 0;
}

}  // namespace

Filho::Filho(const Opcoes& opcoes) {
    // The test process writes to children that may be gone; that must not kill it.
    std::signal(SIGPIPE, SIG_IGN);

    Acoes a;
    Descritor entrada_do_filho, saida_do_filho, erro_do_filho;
    if (!ligar(a, 0, opcoes.fechar_entrada, true, entrada_, entrada_do_filho) ||
        !ligar(a, 1, opcoes.fechar_saida, false, saida_, saida_do_filho) ||
        !ligar(a, 2, opcoes.fechar_erro, false, erro_, erro_do_filho))
        return;
    if (entrada_do_filho.aberto()) {
        if (!opcoes.entrada_previa.empty() &&
            ::write(entrada_.numero(), opcoes.entrada_previa.data(), opcoes.entrada_previa.size()) !=
                static_cast<ssize_t>(opcoes.entrada_previa.size()))
            return;
        if (opcoes.entrada_nao_bloqueante) tornar_nao_bloqueante(entrada_do_filho.numero());
    }

    if (opcoes.diretorio && ::posix_spawn_file_actions_addchdir_np(&a.acoes, opcoes.diretorio->c_str()) != 0) return;

    sigset_t padrao, vazio;
    sigemptyset(&padrao);
    sigaddset(&padrao, SIGPIPE);
    sigemptyset(&vazio);
    ::posix_spawnattr_setsigdefault(&a.atributos, &padrao);
    ::posix_spawnattr_setsigmask(&a.atributos, &vazio);
    ::posix_spawnattr_setflags(&a.atributos, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    // Under an emulator (the bridge built for another processor) the child is the emulator.
    const std::vector<std::string> emulador = {
#include "emulador.inc"
    };
    std::vector<std::string> argumentos = opcoes.prefixo;
    argumentos.insert(argumentos.end(), emulador.begin(), emulador.end());
    argumentos.push_back(opcoes.executavel);
    argumentos.insert(argumentos.end(), opcoes.argumentos.begin(), opcoes.argumentos.end());
    std::vector<std::string> ambiente = montar_ambiente(opcoes);
    auto argv = ponteiros(argumentos);
    auto envp = ponteiros(ambiente);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argumentos.front().c_str(), &a.acoes, &a.atributos, argv.data(), envp.data()) == 0)
        pid_ = pid;
}

Filho::~Filho() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool Filho::alcancado(Alvo alvo, std::string_view pendente) const {
    switch (alvo) {
    case Alvo::escrita: return pendente.empty();
    case Alvo::linha: return texto_saida_.find('\n', linhas_lidas_) != std::string::npos;
    case Alvo::fim: return !saida_.aberto() && !erro_.aberto();
    }
    return true;
}

bool Filho::bombear(std::string_view& pendente, Alvo alvo, Prazo prazo) {
    std::array<char, 64 * 1024> bloco{};
    while (!alcancado(alvo, pendente)) {
        const auto resta =
            std::chrono::duration_cast<std::chrono::milliseconds>(prazo - std::chrono::steady_clock::now());
        if (resta.count() <= 0) return false;

        std::array<pollfd, 3> vigiados{};
        nfds_t total = 0;
        const bool escrevendo = !pendente.empty() && entrada_.aberto();
        if (escrevendo) vigiados[total++] = {entrada_.numero(), POLLOUT, 0};
        if (saida_.aberto()) vigiados[total++] = {saida_.numero(), POLLIN, 0};
        if (erro_.aberto()) vigiados[total++] = {erro_.numero(), POLLIN, 0};
        if (total == 0) return false;  // nothing left that could change
        const int prontos = ::poll(vigiados.data(), total, static_cast<int>(resta.count()));
        if (prontos < 0 && errno != EINTR) return false;
        if (prontos <= 0) continue;

        for (nfds_t i = 0; i < total; ++i) {
            const pollfd& p = vigiados[i];
            if (p.revents == 0) continue;
            if (p.fd == entrada_.numero()) {
                const std::size_t parte = std::min<std::size_t>(pendente.size(), 1 << 20);
                const ssize_t n = ::write(p.fd, pendente.data(), parte);
                if (n > 0)
                    pendente.remove_prefix(static_cast<std::size_t>(n));
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return false;  // reader gone
                continue;
            }
            Descritor& origem = p.fd == saida_.numero() ? saida_ : erro_;
            std::string& destino = p.fd == saida_.numero() ? texto_saida_ : texto_erro_;
            const ssize_t n = ::read(p.fd, bloco.data(), bloco.size());
            if (n > 0)
                destino.append(bloco.data(), static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                origem.fechar();
        }
    }
    return true;
}

std::optional<int> Filho::esperar(Prazo prazo) {
    if (pid_ <= 0) return std::nullopt;
    std::string_view nada;
    if (bombear(nada, Alvo::fim, prazo)) {
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return status;
            }
            if (r < 0 || std::chrono::steady_clock::now() >= prazo) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return std::nullopt;
}

std::string descrever(const std::optional<int>& status) {
    if (!status) return "timeout";
    if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
    if (WIFSIGNALED(*status)) return "signal " + std::to_string(WTERMSIG(*status));
    return "status " + std::to_string(*status);
}

}  // namespace ponte::testes
