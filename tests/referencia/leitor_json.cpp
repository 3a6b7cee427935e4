// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#include "referencia/leitor_json.hpp"

#include "referencia/utf8.hpp"
#include "referencia/varredura.hpp"

#include <array>
#include <limits>

namespace ponte::referencia {
namespace {

constexpr bool e_espaco_json(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
constexpr bool e_digito(char c) { return c >= '0' && c <= '9'; }

const char* saltar_espacos(const char* p, const char* fim) {
    while (p < fim && e_espaco_json(*p)) ++p;
    return p;
}

// The letters after a backslash that stand for one character, \u aside.
constexpr bool e_escape_simples(char c) {
    return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't';
}

int valor_hexadecimal(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr bool e_substituto_inicial(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool e_substituto_final(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

constexpr std::int64_t maior_expoente_escrito = std::numeric_limits<std::int32_t>::max();

}  // namespace

int LeitorJson::proximo_apos_espacos() {
    p_ = saltar_espacos(p_, fim_);
    return p_ < fim_ ? static_cast<unsigned char>(*p_) : -1;
}

bool LeitorJson::falhar_no_proximo(std::string_view mensagem) {
    ++p_;
    return falhar_aqui(std::string(mensagem));
}

bool LeitorJson::falhar_no_fim(std::string_view mensagem) {
    p_ = fim_;
    return falhar_aqui(std::string(mensagem));
}

bool LeitorJson::falhar_aqui(std::string mensagem, bool com_posicao) {
    falha_ = FalhaJson{std::move(mensagem), lidos(), com_posicao};
    return false;
}

bool LeitorJson::ler_string(std::string* destino) {
    ++p_;  // the opening quote
    for (;;) {
        const char* trecho = p_;
        p_ = primeiro_especial_json(p_, fim_);
        if (destino != nullptr) destino->append(trecho, p_);
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        switch (*p_) {
        case '"': ++p_; return true;
        case '\\':
            ++p_;
            // Skipping a value, a simple escape needs no decoding: step over it here.
            if (destino == nullptr && p_ < fim_ && e_escape_simples(*p_)) {
                ++p_;
                break;
            }
            if (!ler_escape(destino)) return false;
            break;
        default: return falhar_no_proximo(diagnostico::caractere_de_controle);
        }
    }
}

// After the backslash.
bool LeitorJson::ler_escape(std::string* destino) {
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
    char letra = *p_++;
    char simples = 0;
    switch (letra) {
    case '"': simples = '"'; break;
    case '\\': simples = '\\'; break;
    case '/': simples = '/'; break;
    case 'b': simples = '\b'; break;
    case 'f': simples = '\f'; break;
    case 'n': simples = '\n'; break;
    case 'r': simples = '\r'; break;
    case 't': simples = '\t'; break;
    case 'u': break;
    default: return falhar_aqui(std::string(diagnostico::escape_invalido));
    }
    if (letra != 'u') {
        if (destino != nullptr) *destino += simples;
        return true;
    }
    char32_t unidade = 0;
    if (!ler_escape_unicode(unidade)) return false;
    if (e_substituto_final(unidade)) return falhar_aqui(std::string(diagnostico::substituto_isolado));
    if (e_substituto_inicial(unidade)) {
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != '\\') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != 'u') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        char32_t final = 0;
        if (!ler_escape_unicode(final)) return false;
        if (!e_substituto_final(final)) return falhar_aqui(std::string(diagnostico::substituto_isolado));
        unidade = 0x10000 + ((unidade - 0xD800) << 10U) + (final - 0xDC00);
    }
    if (destino != nullptr) anexar_utf8(*destino, unidade);
    return true;
}

// The four bytes after \u, taken together: a bad digit fails at the fourth.
bool LeitorJson::ler_escape_unicode(char32_t& unidade) {
    if (fim_ - p_ < 4) return falhar_no_fim(diagnostico::fim_em_string);
    unsigned valor = 0;
    bool valido = true;
    for (int i = 0; i < 4; ++i) {
        int digito = valor_hexadecimal(p_[i]);
        valido = valido && digito >= 0;
        valor = (valor << 4U) | static_cast<unsigned>(digito & 0xF);
    }
    p_ += 4;
    if (!valido) return falhar_aqui(std::string(diagnostico::escape_invalido));
    unidade = valor;
    return true;
}

bool LeitorJson::ler_literal(std::string_view literal) {
    ++p_;  // the first letter was seen by the caller
    for (char esperado : literal.substr(1)) {
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
        if (*p_ != esperado) return falhar_no_proximo(diagnostico::esperava_identificador);
        ++p_;
    }
    return true;
}

bool LeitorJson::ler_numero(Numero& numero) {
    bool negativo = *p_ == '-';
    if (negativo) ++p_;
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);

    // Digits are gathered while the significand fits in 64 bits; after the first one that
    // does not, integer digits only scale and fraction digits are dropped.
    std::uint64_t significando = 0;
    std::int64_t expoente = 0;
    bool transbordou = false;
    auto juntar = [&](char c) {
        auto digito = static_cast<std::uint64_t>(c - '0');
        if (!transbordou && significando <= (std::numeric_limits<std::uint64_t>::max() - digito) / 10) {
            significando = significando * 10 + digito;
            return true;
        }
        transbordou = true;
        return false;
    };

    if (*p_ == '0') {
        ++p_;
        if (p_ < fim_ && e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
    } else if (e_digito(*p_)) {
        const char* p = p_;  // local: `char` reads may alias the members, see texto/varredura.hpp
        while (p < fim_ && e_digito(*p)) {
            if (!juntar(*p)) ++expoente;
            ++p;
        }
        p_ = p;
    } else {
        return falhar_no_proximo(diagnostico::numero_invalido);
    }

    bool inteiro = true;
    if (p_ < fim_ && *p_ == '.') {
        inteiro = false;
        ++p_;
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
        if (!e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
        const char* p = p_;
        while (p < fim_ && e_digito(*p)) {
            if (juntar(*p)) --expoente;
            ++p;
        }
        p_ = p;
    }
    bool zerar = false;
    if (p_ < fim_ && (*p_ == 'e' || *p_ == 'E')) {
        inteiro = false;
        ++p_;
        std::int64_t escrito = 0;
        if (!ler_expoente(zerar, escrito, significando)) return false;
        expoente += escrito;
    }

    if (inteiro && !transbordou) {
        constexpr auto limite_negativo = std::uint64_t{1} << 63U;
        if (!negativo) {
            numero = Numero{Numero::Tipo::inteiro_sem_sinal, significando, 0.0};
            return true;
        }
        if (significando != 0 && significando <= limite_negativo) {
            numero = Numero{Numero::Tipo::inteiro_negativo, significando, 0.0};
            return true;
        }
    }
    std::optional<double> valor = zerar ? 0.0 : valor_do_numero(significando, expoente);
    if (!valor) return falhar_aqui(std::string(diagnostico::numero_fora_do_intervalo));
    numero = Numero{Numero::Tipo::flutuante, 0, negativo ? -*valor : *valor};
    return true;
}

// After the exponent letter. An exponent beyond 32 bits zeroes the number when it is negative
// or the significand is zero, and is out of range otherwise.
bool LeitorJson::ler_expoente(bool& zerar, std::int64_t& expoente, std::uint64_t significando) {
    bool negativo = false;
    if (p_ < fim_ && (*p_ == '+' || *p_ == '-')) {
        negativo = *p_ == '-';
        ++p_;
    }
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
    if (!e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
    std::int64_t valor = 0;
    while (p_ < fim_ && e_digito(*p_)) {
        valor = valor * 10 + (*p_ - '0');
        ++p_;
        if (valor > maior_expoente_escrito) {
            if (significando != 0 && !negativo) return falhar_aqui(std::string(diagnostico::numero_fora_do_intervalo));
            while (p_ < fim_ && e_digito(*p_)) ++p_;
            zerar = true;
            return true;
        }
    }
    expoente = negativo ? -valor : valor;
    return true;
}

// At the opening quote of a member name: the name, then white space and the colon.
bool LeitorJson::ler_nome_e_dois_pontos() {
    if (!ler_string(nullptr)) return false;
    int c = proximo_apos_espacos();
    if (c < 0) return falhar_no_fim(diagnostico::fim_em_objeto);
    if (c != ':') return falhar_no_proximo(diagnostico::esperava_dois_pontos);
    ++p_;
    return true;
}

bool LeitorJson::ignorar_valor(int profundidade) {
    // The open containers, innermost last: '[' or '{'. The depth limit bounds it, so nothing
    // here recurses and hostile nesting cannot exhaust the stack.
    std::array<char, profundidade_maxima + 1> abertos{};
    // proximo_apos_espacos, in a form the compiler inlines into this loop, which runs once
    // per token of an ignored value.
    auto proximo = [this] {
        p_ = saltar_espacos(p_, fim_);
        return p_ < fim_ ? static_cast<unsigned char>(*p_) : -1;
    };
    int quantos = 0;
    for (;;) {
        // A value is due.
        int c = proximo();
        bool completo = true;
        Numero descartado;
        switch (c) {
        case -1: return falhar_no_fim(diagnostico::fim_em_valor);
        case '"':
            if (!ler_string(nullptr)) return false;
            break;
        case 't':
            if (!ler_literal("true")) return false;
            break;
        case 'f':
            if (!ler_literal("false")) return false;
            break;
        case 'n':
            if (!ler_literal("null")) return false;
            break;
        case '[':
        case '{': {
            if (profundidade + quantos + 1 > profundidade_maxima)
                return falhar_no_proximo(diagnostico::limite_de_recursao);
            ++p_;
            abertos[static_cast<std::size_t>(quantos++)] = static_cast<char>(c);
            int seguinte = proximo();
            if (c == '[') {
                if (seguinte < 0) return falhar_no_fim(diagnostico::fim_em_lista);
                if (seguinte == ']') {
                    ++p_;
                    --quantos;
                } else {
                    completo = false;
                }
            } else {
                if (seguinte < 0) return falhar_no_fim(diagnostico::fim_em_objeto);
                if (seguinte == '}') {
                    ++p_;
                    --quantos;
                } else if (seguinte == '"') {
                    if (!ler_nome_e_dois_pontos()) return false;
                    completo = false;
                } else {
                    return falhar_no_proximo(diagnostico::chave_nao_e_string);
                }
            }
            break;
        }
        default:
            if (c == '-' || e_digito(static_cast<char>(c))) {
                if (!ler_numero(descartado)) return false;
                break;
            }
            return falhar_no_proximo(diagnostico::esperava_valor);
        }
        if (!completo) continue;

        // A value is complete: close containers until one expects another element.
        bool outro_elemento = false;
        while (quantos > 0 && !outro_elemento) {
            int seguinte = proximo();
            if (abertos[static_cast<std::size_t>(quantos - 1)] == '[') {
                if (seguinte < 0) return falhar_no_fim(diagnostico::fim_em_lista);
                if (seguinte == ']') {
                    ++p_;
                    --quantos;
                    continue;
                }
                if (seguinte != ',') return falhar_no_proximo(diagnostico::esperava_virgula_ou_colchete);
                ++p_;
                int depois = proximo();
                if (depois < 0) return falhar_no_fim(diagnostico::fim_em_valor);
                if (depois == ']') return falhar_no_proximo(diagnostico::virgula_final);
            } else {
                if (seguinte < 0) return falhar_no_fim(diagnostico::fim_em_objeto);
                if (seguinte == '}') {
                    ++p_;
                    --quantos;
                    continue;
                }
                if (seguinte != ',') return falhar_no_proximo(diagnostico::esperava_virgula_ou_chave);
                ++p_;
                int depois = proximo();
                if (depois < 0) return falhar_no_fim(diagnostico::fim_em_valor);
                if (depois == '}') return falhar_no_proximo(diagnostico::virgula_final);
                if (depois != '"') return falhar_no_proximo(diagnostico::chave_nao_e_string);
                if (!ler_nome_e_dois_pontos()) return false;
            }
            outro_elemento = true;
        }
        if (quantos == 0) return true;
    }
}

}  // namespace ponte::referencia
