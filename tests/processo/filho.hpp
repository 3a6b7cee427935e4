#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ponte::testes {

#ifndef _WIN32
// Owns one descriptor of the test process.
class Descritor {
public:
    Descritor() = default;
    explicit Descritor(int numero) : numero_(numero) {}
    Descritor(Descritor&& outro) noexcept : numero_(outro.soltar()) {}
    Descritor& operator=(Descritor&& outro) noexcept;
    Descritor(const Descritor&) = delete;
    Descritor& operator=(const Descritor&) = delete;
    ~Descritor() { fechar(); }

    int numero() const { return numero_; }
    bool aberto() const { return numero_ >= 0; }
    void fechar();
    int soltar();

private:
    int numero_ = -1;
};

#endif

struct Opcoes {
    std::string executavel;
    std::vector<std::string> argumentos;  // after argv[0]
    // Changes to the test's own environment: a value sets, nullopt removes.
    std::map<std::string, std::optional<std::string>> ambiente;
    bool fechar_entrada = false;  // the child starts with descriptor 0 closed
    bool fechar_saida = false;
    bool fechar_erro = false;
    bool entrada_nao_bloqueante = false;
    std::string entrada_previa;            // already in the input pipe when the child starts (small)
    std::optional<std::string> diretorio;  // the child's working directory; nullopt: the test's
    // A command that starts the bridge (setpriv, to run it as another user), its program named
    // by its full path, before any emulator; POSIX only.
    std::vector<std::string> prefixo;
};

using Prazo = std::chrono::steady_clock::time_point;
Prazo daqui_a(std::chrono::milliseconds tempo);

// A running bridge with pipes on its standard streams. SIGPIPE is reset to its default action
// in the child, so the bridge must ignore it by itself (POSIX; on Windows, filho_windows.cpp
// runs it with CreateProcessW and overlapped named pipes). Every wait has a deadline: a hang
// fails the test instead of blocking the run, and the destructor kills a child still running.
class Filho {
public:
    explicit Filho(const Opcoes& opcoes);
    Filho(const Filho&) = delete;
    Filho& operator=(const Filho&) = delete;
    ~Filho();

#ifdef _WIN32
    bool iniciado() const { return processo_ != nullptr; }
#else
    bool iniciado() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
#endif

    // Writes everything to the child's input (reading its output meanwhile); false on timeout
    // or when the child stopped reading.
    bool escrever(std::string_view bytes, Prazo prazo);
    // The next output line, line feed included; nullopt if none arrives in time.
    std::optional<std::string> ler_linha(Prazo prazo);
#ifdef _WIN32
    void fechar_entrada();
    // The host stops reading the responses.
    void fechar_leitura_da_saida();
#else
    void fechar_entrada() { entrada_.fechar(); }
    // The host stops reading the responses.
    void fechar_leitura_da_saida() { saida_.fechar(); }
#endif
    // Reads the output to its end and reaps the child; the wait status, or nullopt after a
    // timeout (the child is then killed).
    std::optional<int> esperar(Prazo prazo);

    const std::string& saida() const { return texto_saida_; }
    const std::string& erro() const { return texto_erro_; }

private:
    enum class Alvo { escrita, linha, fim };
    bool bombear(std::string_view& pendente, Alvo alvo, Prazo prazo);
    bool alcancado(Alvo alvo, std::string_view pendente) const;

#ifdef _WIN32
    struct Cano;                // our end of one overlapped pipe (filho_windows.cpp)
    void* processo_ = nullptr;  // the child's process handle
    std::unique_ptr<Cano> entrada_, saida_, erro_;
#else
    pid_t pid_ = -1;
    Descritor entrada_, saida_, erro_;
#endif
    std::string texto_saida_, texto_erro_;
    std::size_t linhas_lidas_ = 0;  // bytes of texto_saida_ already given by ler_linha
};

struct Resultado {
    std::string saida;
    std::string erro;
    std::optional<int> status;  // wait status; nullopt: did not finish in time
};

// Starts the bridge, writes `entrada`, closes its input and waits for it to finish.
inline Resultado rodar(const Opcoes& opcoes, std::string_view entrada,
                       std::chrono::milliseconds tempo = std::chrono::seconds(20)) {
    Filho filho(opcoes);
    if (!filho.iniciado()) return {"", "could not start " + opcoes.executavel, std::nullopt};
    const Prazo prazo = daqui_a(tempo);
    filho.escrever(entrada, prazo);  // a child that stops reading early is the test's business
    filho.fechar_entrada();
    const auto status = filho.esperar(prazo);
    return {filho.saida(), filho.erro(), status};
}

// "exit 0", "exit 3", "signal 13", "timeout": readable in a failed expectation.
std::string descrever(const std::optional<int>& status);

inline bool Filho::escrever(std::string_view bytes, Prazo prazo) { return bombear(bytes, Alvo::escrita, prazo); }

inline std::optional<std::string> Filho::ler_linha(Prazo prazo) {
    std::string_view nada;
    if (!bombear(nada, Alvo::linha, prazo)) return std::nullopt;
    const std::size_t fim = texto_saida_.find('\n', linhas_lidas_) + 1;
    std::string linha = texto_saida_.substr(linhas_lidas_, fim - linhas_lidas_);
    linhas_lidas_ = fim;
    return linha;
}

}  // namespace ponte::testes
