#include "acbr/carregador.hpp"

#include "acbr/utf16_windows.hpp"

#include <windows.h>

#include <string_view>
#include <utility>
#include <vector>

namespace ponte::acbr::carregador {
namespace {

// The system's message for an error code, in UTF-8 without the trailing line break; nothing
// for no code, or a code the system has no message for.
std::optional<std::string> descricao_do_erro(DWORD codigo) {
    if (codigo == ERROR_SUCCESS) return std::nullopt;
    LPWSTR texto = nullptr;
    const DWORD tamanho =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, codigo, 0, reinterpret_cast<LPWSTR>(&texto), 0, nullptr);
    if (tamanho == 0 || texto == nullptr) return std::nullopt;
    std::wstring_view mensagem(texto, tamanho);
    while (!mensagem.empty() && (mensagem.back() == L'\n' || mensagem.back() == L'\r')) mensagem.remove_suffix(1);
    std::string utf8 = windows::de_utf16_leniente(mensagem);
    ::LocalFree(texto);
    if (utf8.empty()) return std::nullopt;
    return utf8;
}

// The full path of the file, for LoadLibraryExW only: with LOAD_WITH_ALTERED_SEARCH_PATH the
// loader takes a relative path as a name to search for, not as the file in the working
// directory.
std::optional<std::wstring> caminho_completo(const std::wstring& caminho) {
    std::vector<wchar_t> completo(MAX_PATH);
    for (;;) {
        const DWORD escrito =
            ::GetFullPathNameW(caminho.c_str(), static_cast<DWORD>(completo.size()), completo.data(), nullptr);
        if (escrito == 0) return std::nullopt;
        if (escrito < completo.size()) return std::wstring(completo.data(), escrito);
        completo.resize(escrito);  // too small: `escrito` is the size needed, terminator included
    }
}

// No dialog box for a missing drive or a bad file while loading: the bridge has no one to
// answer it. The thread's previous mode is back when the scope ends.
class SemCaixasDeErro {
public:
    SemCaixasDeErro() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &anterior_); }
    SemCaixasDeErro(const SemCaixasDeErro&) = delete;
    SemCaixasDeErro& operator=(const SemCaixasDeErro&) = delete;
    ~SemCaixasDeErro() { ::SetThreadErrorMode(anterior_, nullptr); }

private:
    DWORD anterior_ = 0;
};

}  // namespace

Biblioteca::~Biblioteca() {
    if (nativa_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(nativa_));  // its result changes nothing for the caller
    }
}

std::variant<Biblioteca, Falha> abrir(const std::string& caminho) {
    // The path comes from UTF-8 texts, so a failed conversion cannot happen in practice; the
    // loader then has nothing to say about it.
    const auto utf16 = windows::para_utf16(caminho);
    if (!utf16) return Falha{std::nullopt};
    const auto completo = caminho_completo(*utf16);
    if (!completo) return Falha{descricao_do_erro(::GetLastError())};
    HMODULE nativa = nullptr;
    DWORD codigo = ERROR_SUCCESS;
    {
        SemCaixasDeErro sem_caixas;
        // Dependencies are searched in the library's own directory first, as ACBrLib expects.
        nativa = ::LoadLibraryExW(completo->c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (nativa == nullptr) codigo = ::GetLastError();  // before anything else can reset it
    }
    if (nativa == nullptr) {
        return Falha{descricao_do_erro(codigo)};
    }
    return Biblioteca(nativa);
}

std::variant<void*, Falha> procurar(const Biblioteca& biblioteca, const char* nome) {
    ::SetLastError(ERROR_SUCCESS);
    const FARPROC endereco = ::GetProcAddress(static_cast<HMODULE>(biblioteca.nativa_), nome);
    if (endereco == nullptr) {
        return Falha{descricao_do_erro(::GetLastError())};
    }
    return reinterpret_cast<void*>(endereco);
}

}  // namespace ponte::acbr::carregador
