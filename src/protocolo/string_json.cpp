#include "protocolo/string_json.hpp"

namespace ponte::protocolo {

// The general path of ler_string: the string at `inicio` that the quick path did not settle,
// plain ASCII up to p, then a byte from 0x80 up, a special byte, or the sixteenth.
bool LeitorJson::ler_resto_da_string(const char* inicio, const char* p, std::string_view& conteudo,
                                     std::string& rascunho) {
    if (p < fim_ && texto::classe_json(*p) != texto::ClasseJson::especial)
        p = texto::primeiro_especial_json(inicio_, p, fim_);
    p_ = p;
    // Usually the string ends at the first special byte: its text is the line's own bytes.
    if (p_ < fim_ && *p_ == '"') {
        conteudo = std::string_view(inicio, static_cast<std::size_t>(p_ - inicio));
        ++p_;
        return true;
    }
    rascunho.assign(inicio, p_);
    for (;;) {
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        switch (*p_) {
        case '"':
            ++p_;
            conteudo = rascunho;
            return true;
        case '\\':
            ++p_;
            if (!ler_escape(&rascunho)) return false;
            break;
        default: return falhar_no_proximo(diagnostico::caractere_de_controle);
        }
        const char* trecho = p_;
        p_ = texto::primeiro_especial_json(inicio_, p_, fim_);
        rascunho.append(trecho, p_);
    }
}

}  // namespace ponte::protocolo
