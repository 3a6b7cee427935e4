#pragma once

#include <string_view>

// Every text the version query answers with. Hosts may show them to an operator, so they are
// part of the bridge's interface and change only deliberately.
namespace ponte::acbr::mensagens {

// The answer on every platform for which the ACBr Project publishes no ACBrLib.
inline constexpr std::string_view plataforma =
    "A ACBrLib não existe para este sistema (o Projeto ACBr publica Windows e Linux). "
    "Emissão e impressão térmica só se testam em Windows ou Linux x64.";

// Followed by the library path.
inline constexpr std::string_view nao_encontrada = "biblioteca não encontrada em ";

// Followed by the loader's description, or by `carga_sem_descricao` when it gave none.
inline constexpr std::string_view carga = "não foi possível carregar a lib: ";
#ifdef _WIN32
inline constexpr std::string_view carga_sem_descricao = "LoadLibraryExW failed, but system did not report the error";
#else
inline constexpr std::string_view carga_sem_descricao = "dlopen failed, but system did not report the error";
#endif

// Followed by the loader's description, or by `simbolo_sem_endereco` when the loader found the
// name at address 0 and reported nothing.
inline constexpr std::string_view inicializar_ausente = "NFE_Inicializar ausente: ";
inline constexpr std::string_view finalizar_ausente = "NFE_Finalizar ausente: ";
inline constexpr std::string_view simbolo_sem_endereco = "símbolo sem endereço";

// Followed by the code NFE_Inicializar returned, in signed decimal.
inline constexpr std::string_view inicializar_devolveu = "NFE_Inicializar devolveu ";

}  // namespace ponte::acbr::mensagens
