#pragma once

// The structure of a value being skipped, for the reader's own files: the containers still open
// and a member's name with its colon. The walk that uses them is valor_ignorado_json.cpp.
#include "protocolo/leitor_json.hpp"
#include "protocolo/string_json.hpp"

#include <array>
#include <cstddef>

namespace ponte::protocolo {

namespace detalhe {

// The open containers of an ignored value, innermost last, kept as runs of one kind: nested
// arrays, the usual deep shape, take one entry however deep they go, and a run of brackets is
// opened or closed in one step. The depth limit bounds it, so nothing here recurses and hostile
// nesting cannot exhaust the stack.
class Abertos {
public:
    int quantos() const { return quantos_; }
    char mais_interno() const { return trechos_[topo()].tipo; }
    // How many of the innermost containers are of the innermost one's kind.
    int no_trecho_interno() const { return trechos_[topo()].quantos; }

    void abrir(char tipo, int quantos) {
        if (trechos_usados_ > 0 && trechos_[topo()].tipo == tipo) {
            trechos_[topo()].quantos += quantos;
        } else {
            trechos_[static_cast<std::size_t>(trechos_usados_++)] = Trecho{tipo, quantos};
        }
        quantos_ += quantos;
    }
    // At most no_trecho_interno() of them.
    void fechar(int quantos) {
        trechos_[topo()].quantos -= quantos;
        if (trechos_[topo()].quantos == 0) --trechos_usados_;
        quantos_ -= quantos;
    }

private:
    struct Trecho {
        char tipo;  // '[' or '{'
        int quantos;
    };
    std::size_t topo() const { return static_cast<std::size_t>(trechos_usados_ - 1); }

    std::array<Trecho, profundidade_maxima + 1> trechos_;  // left unset: only entries in use are read
    int trechos_usados_ = 0;
    int quantos_ = 0;
};

}  // namespace detalhe

// At the opening quote of a member name: the name, then white space and the colon.
inline bool LeitorJson::ler_nome_e_dois_pontos() {
    if (!saltar_string()) return false;
    int c = proximo_apos_espacos();
    if (c < 0) return falhar_no_fim(diagnostico::fim_em_objeto);
    if (c != ':') return falhar_no_proximo(diagnostico::esperava_dois_pontos);
    ++p_;
    return true;
}

}  // namespace ponte::protocolo
