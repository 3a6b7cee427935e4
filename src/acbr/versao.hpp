#pragma once

#include "protocolo/resposta.hpp"

namespace ponte::acbr {

// The version query: locates, loads and initialises the ACBr library, reads its name and
// version, finalises and unloads it, and answers. Every failure is an error answer naming its
// stage; nothing is kept from one call to the next.
protocolo::Resposta versao();

}  // namespace ponte::acbr
