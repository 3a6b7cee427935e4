#include "protocolo/numero_json.hpp"

namespace ponte::protocolo {

template bool LeitorJson::ler_numero_por_extenso<true>(Numero& numero);

}  // namespace ponte::protocolo
