// The Windows harness behind filho.hpp: the bridge started with CreateProcessW, its standard
// streams on named pipes whose ends here are overlapped, so every wait has a deadline as with
// poll(2) on POSIX. A closed stream is a child started without that standard handle.
#include "processo/filho.hpp"

#include <windows.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

namespace ponte::testes {

namespace {

std::wstring largo(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int tamanho = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring texto(static_cast<std::size_t>(tamanho), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), texto.data(), tamanho);
    return texto;
}

// One argument as the C runtime's command-line parser gives it back.
std::wstring citar(const std::wstring& argumento) {
    std::wstring citado = L"\"";
    std::size_t barras = 0;
    for (const wchar_t c : argumento) {
        if (c == L'\\') {
            ++barras;
            continue;
        }
        citado.append(c == L'"' ? 2 * barras + 1 : barras, L'\\');
        citado += c;
        barras = 0;
    }
    citado.append(2 * barras, L'\\');
    return citado + L'"';
}

// The test's own environment with the options' changes; names compare without case, as
// Windows compares them.
std::vector<wchar_t> montar_ambiente(const Opcoes& opcoes) {
    auto mesmo_nome = [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                      TRUE) == CSTR_EQUAL;
    };
    std::vector<std::wstring> variaveis;
    if (wchar_t* bloco = ::GetEnvironmentStringsW()) {
        for (const wchar_t* item = bloco; *item != L'\0'; item += std::wcslen(item) + 1) {
            const std::wstring texto(item);
            // "=C:=C:\dir" entries keep the drives' working directories; their '=' is no separator.
            const std::wstring nome = texto.substr(0, texto.find(L'=', 1));
            const bool mudado = std::any_of(opcoes.ambiente.begin(), opcoes.ambiente.end(),
                                            [&](const auto& par) { return mesmo_nome(largo(par.first), nome); });
            if (!mudado) variaveis.push_back(texto);
        }
        ::FreeEnvironmentStringsW(bloco);
    }
    for (const auto& [nome, valor] : opcoes.ambiente)
        if (valor) variaveis.push_back(largo(nome) + L"=" + largo(*valor));
    std::vector<wchar_t> bloco;
    for (const std::wstring& variavel : variaveis)
        bloco.insert(bloco.end(), variavel.c_str(), variavel.c_str() + variavel.size() + 1);
    bloco.push_back(L'\0');
    return bloco;
}

DWORD milissegundos_ate(Prazo prazo) {
    const auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(prazo - std::chrono::steady_clock::now());
    return resta.count() <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(resta.count(), 24 * 3600 * 1000));
}

}  // namespace

// Our end of one pipe, with at most one overlapped read or write in flight. The bytes in flight
// live here, so an operation outliving a wait never points into a caller's buffer.
struct Filho::Cano {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE evento = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED sobreposto{};
    bool em_voo = false;
    std::vector<char> dados = std::vector<char>(64 * 1024);

    Cano() = default;
    Cano(const Cano&) = delete;
    Cano& operator=(const Cano&) = delete;
    ~Cano() {
        fechar();
        if (evento != nullptr) ::CloseHandle(evento);
    }

    bool aberto() const { return handle != INVALID_HANDLE_VALUE; }

    void fechar() {
        if (!aberto()) return;
        if (em_voo) {
            DWORD ignorado = 0;
            ::CancelIoEx(handle, &sobreposto);
            ::GetOverlappedResult(handle, &sobreposto, &ignorado, TRUE);
            em_voo = false;
        }
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    // Starts a read, or a write of the first `tamanho` bytes of `dados`; false when the pipe's
    // other end is gone.
    bool iniciar(bool escrita, DWORD tamanho) {
        sobreposto = OVERLAPPED{};
        sobreposto.hEvent = evento;
        ::ResetEvent(evento);
        const BOOL feito = escrita ? ::WriteFile(handle, dados.data(), tamanho, nullptr, &sobreposto)
                                   : ::ReadFile(handle, dados.data(), tamanho, nullptr, &sobreposto);
        if (!feito && ::GetLastError() != ERROR_IO_PENDING) return false;
        em_voo = true;
        return true;
    }

    // The bytes moved by the operation in flight once it is over; nothing while it goes on;
    // 0 when it failed because the other end is gone.
    std::optional<DWORD> concluida() {
        DWORD movidos = 0;
        if (::GetOverlappedResult(handle, &sobreposto, &movidos, FALSE)) {
            em_voo = false;
            return movidos;
        }
        if (::GetLastError() == ERROR_IO_INCOMPLETE) return std::nullopt;
        em_voo = false;
        return 0;
    }
};

Prazo daqui_a(std::chrono::milliseconds tempo) { return std::chrono::steady_clock::now() + tempo; }

Filho::Filho(const Opcoes& opcoes) {
    if (opcoes.entrada_nao_bloqueante || !opcoes.entrada_previa.empty())
        throw std::logic_error("anonymous and named pipes offer no O_NONBLOCK input to the child");
    // One name per pipe, unique on the machine: a counter would be state shared by tests.
    std::random_device aleatorio;
    auto criar = [&](bool filho_le, HANDLE& do_filho) -> std::unique_ptr<Cano> {
        const std::wstring nome = L"\\\\.\\pipe\\acbr-ponte-teste-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(aleatorio()) + std::to_wstring(aleatorio());
        auto cano = std::make_unique<Cano>();
        cano->handle =
            ::CreateNamedPipeW(nome.c_str(),
                               (filho_le ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED |
                                   FILE_FLAG_FIRST_PIPE_INSTANCE,
                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64 * 1024, 64 * 1024, 0, nullptr);
        if (!cano->aberto() || cano->evento == nullptr) return nullptr;
        SECURITY_ATTRIBUTES herdavel{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        do_filho = ::CreateFileW(nome.c_str(), filho_le ? GENERIC_READ : GENERIC_WRITE, 0, &herdavel, OPEN_EXISTING, 0,
                                 nullptr);
        if (do_filho == INVALID_HANDLE_VALUE) return nullptr;
        return cano;
    };

    // A closed stream is INVALID_HANDLE_VALUE: for a null handle Wine hands the child its own
    // Unix standard stream instead.
    HANDLE pontas_do_filho[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    const bool fechar[3] = {opcoes.fechar_entrada, opcoes.fechar_saida, opcoes.fechar_erro};
    std::unique_ptr<Cano>* nossos[3] = {&entrada_, &saida_, &erro_};
    bool prontos = true;
    for (int i = 0; i < 3 && prontos; ++i) {
        if (fechar[i]) continue;
        *nossos[i] = criar(i == 0, pontas_do_filho[i]);
        prontos = *nossos[i] != nullptr;
    }

    if (prontos) {
        std::vector<std::wstring> argumentos{largo(opcoes.executavel)};
        for (const auto& argumento : opcoes.argumentos) argumentos.push_back(largo(argumento));
        std::wstring linha;
        for (const auto& argumento : argumentos) linha += (linha.empty() ? L"" : L" ") + citar(argumento);
        std::vector<wchar_t> ambiente = montar_ambiente(opcoes);

        STARTUPINFOW inicio{};
        inicio.cb = sizeof(inicio);
        inicio.dwFlags = STARTF_USESTDHANDLES;
        inicio.hStdInput = pontas_do_filho[0];
        inicio.hStdOutput = pontas_do_filho[1];
        inicio.hStdError = pontas_do_filho[2];
        PROCESS_INFORMATION processo{};
        const std::wstring executavel = largo(opcoes.executavel);
        const std::wstring diretorio = opcoes.diretorio ? largo(*opcoes.diretorio) : std::wstring();
        if (::CreateProcessW(executavel.c_str(), linha.data(), nullptr, nullptr, TRUE,
                             CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, ambiente.data(),
                             opcoes.diretorio ? diretorio.c_str() : nullptr, &inicio, &processo)) {
            ::CloseHandle(processo.hThread);
            processo_ = processo.hProcess;
        }
    }
    // Only the child may hold its ends: the pipes end when it exits.
    for (HANDLE ponta : pontas_do_filho)
        if (ponta != nullptr && ponta != INVALID_HANDLE_VALUE) ::CloseHandle(ponta);
}

Filho::~Filho() {
    if (processo_ != nullptr) {
        ::TerminateProcess(processo_, 1);
        ::WaitForSingleObject(processo_, INFINITE);
        ::CloseHandle(processo_);
    }
}

void Filho::fechar_entrada() {
    if (entrada_) entrada_->fechar();
}

void Filho::fechar_leitura_da_saida() {
    if (saida_) saida_->fechar();
}

bool Filho::alcancado(Alvo alvo, std::string_view pendente) const {
    switch (alvo) {
    case Alvo::escrita: return pendente.empty();
    case Alvo::linha: return texto_saida_.find('\n', linhas_lidas_) != std::string::npos;
    case Alvo::fim: return !(saida_ && saida_->aberto()) && !(erro_ && erro_->aberto());
    }
    return true;
}

bool Filho::bombear(std::string_view& pendente, Alvo alvo, Prazo prazo) {
    auto aberto = [](const std::unique_ptr<Cano>& cano) { return cano && cano->aberto(); };
    while (!alcancado(alvo, pendente)) {
        if (std::chrono::steady_clock::now() >= prazo) return false;

        // Start what is not yet in flight.
        if (!pendente.empty() && aberto(entrada_) && !entrada_->em_voo) {
            const std::size_t parte = std::min(pendente.size(), entrada_->dados.size());
            std::copy_n(pendente.data(), parte, entrada_->dados.data());
            if (!entrada_->iniciar(true, static_cast<DWORD>(parte))) return false;  // reader gone
        }
        for (auto* cano : {&saida_, &erro_}) {
            if (aberto(*cano) && !(*cano)->em_voo &&
                !(*cano)->iniciar(false, static_cast<DWORD>((*cano)->dados.size())))
                (*cano)->fechar();  // the child's end is closed: no more output
        }

        std::vector<HANDLE> eventos;
        for (auto* cano : {&entrada_, &saida_, &erro_})
            if (aberto(*cano) && (*cano)->em_voo) eventos.push_back((*cano)->evento);
        if (eventos.empty()) return alcancado(alvo, pendente);  // nothing left that could change
        ::WaitForMultipleObjects(static_cast<DWORD>(eventos.size()), eventos.data(), FALSE, milissegundos_ate(prazo));

        if (aberto(entrada_) && entrada_->em_voo) {
            if (const auto escritos = entrada_->concluida()) {
                if (*escritos == 0) return false;  // reader gone
                pendente.remove_prefix(*escritos);
            }
        }
        for (auto* cano : {&saida_, &erro_}) {
            if (!aberto(*cano) || !(*cano)->em_voo) continue;
            const auto lidos = (*cano)->concluida();
            if (!lidos) continue;
            if (*lidos == 0) {
                (*cano)->fechar();
                continue;
            }
            std::string& destino = cano == &saida_ ? texto_saida_ : texto_erro_;
            destino.append((*cano)->dados.data(), *lidos);
        }
    }
    return true;
}

std::optional<int> Filho::esperar(Prazo prazo) {
    if (processo_ == nullptr) return std::nullopt;
    std::string_view nada;
    std::optional<int> status;
    if (bombear(nada, Alvo::fim, prazo) &&
        ::WaitForSingleObject(processo_, milissegundos_ate(prazo)) == WAIT_OBJECT_0) {
        DWORD codigo = 0;
        if (::GetExitCodeProcess(processo_, &codigo)) status = static_cast<int>(codigo);
    } else {
        ::TerminateProcess(processo_, 1);
        ::WaitForSingleObject(processo_, INFINITE);
    }
    ::CloseHandle(processo_);
    processo_ = nullptr;
    return status;
}

// On Windows the status is the exit code itself.
std::string descrever(const std::optional<int>& status) {
    if (!status) return "timeout";
    return "exit " + std::to_string(static_cast<unsigned>(*status));
}

}  // namespace ponte::testes
