// Skipping a value: the walk over its tokens, each read by its own kind's path, and over the
// containers it opens and closes.
#include "protocolo/estrutura_json.hpp"
#include "protocolo/leitor_json.hpp"
#include "protocolo/numero_json.hpp"
#include "protocolo/string_json.hpp"
#include "texto/varredura.hpp"

namespace ponte::protocolo {

// flatten: every helper the loop calls once per token (strings, numbers, literals, member names)
// is inlined into it, from the headers of each kind of token (see docs/performance.md).
[[gnu::flatten]] bool LeitorJson::ignorar_valor(int profundidade) {
    detalhe::Abertos abertos;
    // How many containers this value may open before the limit.
    const int limite = profundidade_maxima - profundidade;
    // A local cursor, kept in a register through the loop, which runs once per token; p_ is
    // brought up to date around every call that reads or fails.
    const char* p = p_;
    const char* const fim = fim_;
    auto proximo = [&p, fim]() -> int {
        if (p < fim) {
            const auto byte = static_cast<unsigned char>(*p);
            if (byte > ' ') return byte;
        }
        p = detalhe::saltar_espacos(p, fim);
        return p < fim ? static_cast<unsigned char>(*p) : -1;
    };
    // Every way out goes through here, so that lidos() and the failure see where reading stopped.
    auto falhar = [this, &p](bool (LeitorJson::*como)(std::string_view), std::string_view mensagem) {
        p_ = p;
        return (this->*como)(mensagem);
    };
    int c = proximo();
    for (;;) {
        // A value is due and `c` is its first byte (or -1).
        switch (c) {
        case -1: return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_valor);
        case '"':
            p_ = p;
            if (!saltar_string()) return false;
            p = p_;
            break;
        case 't':
        case 'f':
        case 'n': {
            p_ = p;
            if (!ler_literal(c == 't' ? "true" : c == 'f' ? "false" : "null")) return false;
            p = p_;
            break;
        }
        case '[': {
            // The whole run of brackets, as far as the limit allows: the bracket past it fails.
            const int cabem = limite - abertos.quantos();
            const char* const ate = fim - p > cabem ? p + cabem + 1 : fim;
            const char* const depois = texto::fim_da_repeticao(inicio_, p, ate, '[');
            const auto seguidos = static_cast<int>(depois - p);
            if (seguidos > cabem) {
                p += cabem;
                return falhar(&LeitorJson::falhar_no_proximo, diagnostico::limite_de_recursao);
            }
            abertos.abrir('[', seguidos);
            p = depois;
            const int seguinte = proximo();
            if (seguinte < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_lista);
            if (seguinte != ']') {
                c = seguinte;  // the first element is due
                continue;
            }
            ++p;
            abertos.fechar(1);
            break;
        }
        case '{': {
            if (abertos.quantos() >= limite)
                return falhar(&LeitorJson::falhar_no_proximo, diagnostico::limite_de_recursao);
            ++p;
            abertos.abrir('{', 1);
            const int seguinte = proximo();
            if (seguinte < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_objeto);
            if (seguinte == '"') {
                p_ = p;
                if (!ler_nome_e_dois_pontos()) return false;
                p = p_;
                c = proximo();  // the first member's value is due
                continue;
            }
            if (seguinte != '}') return falhar(&LeitorJson::falhar_no_proximo, diagnostico::chave_nao_e_string);
            ++p;
            abertos.fechar(1);
            break;
        }
        default: {
            if (c != '-' && !detalhe::e_digito(static_cast<char>(c)))
                return falhar(&LeitorJson::falhar_no_proximo, diagnostico::esperava_valor);
            if (c != '-' && detalhe::digito_isolado(p, fim)) {
                ++p;
                break;
            }
            Numero descartado;
            p_ = p;
            if (!ler_numero_por_extenso<false>(descartado)) return false;
            p = p_;
            break;
        }
        }

        // A value is complete: close containers until one expects another element.
        for (;;) {
            if (abertos.quantos() == 0) {
                p_ = p;
                return true;
            }
            const int seguinte = proximo();
            if (abertos.mais_interno() == '[') {
                if (seguinte == ']') {
                    // A run of closing brackets closes as many of the innermost arrays.
                    const int arrays = abertos.no_trecho_interno();
                    const char* const ate = fim - p > arrays ? p + arrays : fim;
                    const char* const depois = texto::fim_da_repeticao(inicio_, p, ate, ']');
                    abertos.fechar(static_cast<int>(depois - p));
                    p = depois;
                    continue;
                }
                if (seguinte < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_lista);
                if (seguinte != ',')
                    return falhar(&LeitorJson::falhar_no_proximo, diagnostico::esperava_virgula_ou_colchete);
                ++p;
                c = proximo();
                if (c < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_valor);
                if (c == ']') return falhar(&LeitorJson::falhar_no_proximo, diagnostico::virgula_final);
                break;  // the next element is due
            }
            if (seguinte == '}') {
                ++p;
                abertos.fechar(1);
                continue;
            }
            if (seguinte < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_objeto);
            if (seguinte != ',') return falhar(&LeitorJson::falhar_no_proximo, diagnostico::esperava_virgula_ou_chave);
            ++p;
            const int depois = proximo();
            if (depois < 0) return falhar(&LeitorJson::falhar_no_fim, diagnostico::fim_em_valor);
            if (depois == '}') return falhar(&LeitorJson::falhar_no_proximo, diagnostico::virgula_final);
            if (depois != '"') return falhar(&LeitorJson::falhar_no_proximo, diagnostico::chave_nao_e_string);
            p_ = p;
            if (!ler_nome_e_dois_pontos()) return false;
            p = p_;
            c = proximo();  // the next member's value is due
            break;
        }
    }
}

}  // namespace ponte::protocolo
