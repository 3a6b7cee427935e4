#include "acbr/caminho_da_lib.hpp"

#include "acbr/ambiente.hpp"
#include "acbr/executavel.hpp"

namespace ponte::acbr {
namespace {

#ifdef _WIN32
// Windows takes both separators and writes the backslash.
constexpr std::string_view separadores = "\\/";
constexpr char separador = '\\';

// "X:" at the start of the path: the drive, which is no component of its own.
std::size_t tamanho_da_unidade(std::string_view caminho) {
    const bool letra =
        !caminho.empty() && ((caminho[0] >= 'A' && caminho[0] <= 'Z') || (caminho[0] >= 'a' && caminho[0] <= 'z'));
    return letra && caminho.size() >= 2 && caminho[1] == ':' ? 2 : 0;
}
#else
constexpr std::string_view separadores = "/";
constexpr char separador = '/';

std::size_t tamanho_da_unidade(std::string_view) { return 0; }
#endif

std::optional<std::string> diretorio_acbr() {
    // A value the system cannot hand over as text (not UTF-8 on Linux, not UTF-16 on Windows)
    // could not be shown in an answer faithfully: it counts as unset.
    if (auto valor = variavel_de_ambiente("ACBR_DIR")) {
        return valor;
    }
    const auto executavel = caminho_do_executavel();
    if (!executavel) {
        return std::nullopt;
    }
    const auto pai = pai_do_caminho(*executavel);
    if (!pai) {
        return std::nullopt;
    }
    return juntar_caminho(*pai, "acbr");
}

}  // namespace

std::optional<std::string> caminho_da_lib() {
    const auto diretorio = diretorio_acbr();
    if (!diretorio) {
        return std::nullopt;
    }
#ifdef PONTE_ARQUIVO_DA_LIB
    return juntar_caminho(*diretorio, PONTE_ARQUIVO_DA_LIB);
#else
    return std::nullopt;
#endif
}

std::optional<std::string> pai_do_caminho(std::string_view caminho) {
    // A drive ("C:") stays with whatever follows it; the rest splits as on any system.
    const auto unidade = caminho.substr(0, tamanho_da_unidade(caminho));
    const auto resto = caminho.substr(unidade.size());
    // Trailing separators belong to no component: "a/b/" ends with the component "b".
    const auto fim_do_ultimo = resto.find_last_not_of(separadores);
    if (fim_do_ultimo == std::string_view::npos) {
        return std::nullopt;  // empty, a root, or a drive alone
    }
    const auto separador_anterior = resto.find_last_of(separadores, fim_do_ultimo);
    if (separador_anterior == std::string_view::npos) {
        return std::string(unidade);  // a lone component: its parent is the empty path (or the drive)
    }
    const auto fim_do_pai = resto.find_last_not_of(separadores, separador_anterior);
    if (fim_do_pai == std::string_view::npos) {
        // The root, written with the path's own first separator ("/", "\", "C:\").
        return std::string(caminho.substr(0, unidade.size() + 1));
    }
    return std::string(caminho.substr(0, unidade.size() + fim_do_pai + 1));
}

std::string juntar_caminho(std::string_view base, std::string_view componente) {
    std::string caminho(base);
    // After a lone drive a separator would change the meaning: "C:acbr" is not "C:\acbr".
    const bool so_unidade = !caminho.empty() && tamanho_da_unidade(caminho) == caminho.size();
    if (!caminho.empty() && !so_unidade && separadores.find(caminho.back()) == std::string_view::npos) {
        caminho += separador;
    }
    caminho += componente;
    return caminho;
}

}  // namespace ponte::acbr
