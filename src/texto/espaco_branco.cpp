#include "texto/espaco_branco.hpp"

#include "texto/utf8.hpp"

namespace ponte::texto {

bool e_espaco_branco(char32_t ponto) {
    if (ponto >= 0x2000U && ponto <= 0x200AU) {
        return true;
    }
    switch (ponto) {
    case 0x0009U:
    case 0x000AU:
    case 0x000BU:
    case 0x000CU:
    case 0x000DU:
    case 0x0020U:
    case 0x0085U:
    case 0x00A0U:
    case 0x1680U:
    case 0x2028U:
    case 0x2029U:
    case 0x202FU:
    case 0x205FU:
    case 0x3000U: return true;
    default: return false;
    }
}

// The ends that the inline check could not settle: characters decoded one by one.
std::string_view detalhe::aparar_espaco_branco_decodificando(std::string_view utf8_valido) {
    std::string_view resto = utf8_valido;
    while (!resto.empty()) {
        const PontoDeCodigo primeiro = primeiro_ponto(resto);
        if (!e_espaco_branco(primeiro.valor)) {
            break;
        }
        resto.remove_prefix(primeiro.comprimento);
    }
    while (!resto.empty()) {
        const PontoDeCodigo ultimo = ultimo_ponto(resto);
        if (!e_espaco_branco(ultimo.valor)) {
            break;
        }
        resto.remove_suffix(ultimo.comprimento);
    }
    return resto;
}

}  // namespace ponte::texto
