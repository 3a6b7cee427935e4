#include "acbr/caminho_da_lib.hpp"

#include "acbr/executavel.hpp"
#include "texto/utf8.hpp"

#include <cstdlib>

namespace ponte::acbr {
namespace {

std::optional<std::string> diretorio_acbr() {
    // A value that is not UTF-8 could not be shown in an answer faithfully: it counts as unset.
    if (const char* valor = std::getenv("ACBR_DIR"); valor != nullptr && texto::utf8_valido(valor)) {
        return std::string(valor);
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
    // Trailing separators belong to no component: "a/b/" ends with the component "b".
    const auto fim_do_ultimo = caminho.find_last_not_of('/');
    if (fim_do_ultimo == std::string_view::npos) {
        return std::nullopt;  // empty, or a root
    }
    const auto separador = caminho.find_last_of('/', fim_do_ultimo);
    if (separador == std::string_view::npos) {
        return std::string();  // a lone component: its parent is the empty path
    }
    const auto fim_do_pai = caminho.find_last_not_of('/', separador);
    if (fim_do_pai == std::string_view::npos) {
        return std::string("/");
    }
    return std::string(caminho.substr(0, fim_do_pai + 1));
}

std::string juntar_caminho(std::string_view base, std::string_view componente) {
    std::string caminho(base);
    if (!caminho.empty() && caminho.back() != '/') {
        caminho += '/';
    }
    caminho += componente;
    return caminho;
}

}  // namespace ponte::acbr
