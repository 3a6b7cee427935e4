#pragma once

#include <cstdint>

// ACBrLib NFe's entry points as the bridge calls them (the handle-based "MT" build).
namespace ponte::acbr {

using FuncaoInicializar = std::int32_t (*)(void** handle, const char* eArqConfig, const char* eChaveCrypt);
using FuncaoFinalizar = std::int32_t (*)(void* handle);
// NFE_Nome and NFE_Versao: the text goes into the buffer, its length into the size.
using FuncaoTexto = std::int32_t (*)(void* handle, char* texto, std::int32_t* tamanho);

}  // namespace ponte::acbr
