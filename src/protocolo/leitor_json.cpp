#include "protocolo/leitor_json.hpp"

#include "texto/utf8.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace ponte::protocolo {
namespace {

constexpr bool e_digito(char c) { return c >= '0' && c <= '9'; }

// Whether a number goes on with this byte after its first digit.
constexpr bool continua_numero(char c) { return e_digito(c) || c == '.' || c == 'e' || c == 'E'; }

// The letters after a backslash that stand for one character, \u aside.
constexpr bool e_escape_simples(char c) {
    return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't';
}

// The value of each hexadecimal digit, -1 for every other byte: one load per digit of a \u escape.
constexpr std::array<signed char, 256> valores_hexadecimais = [] {
    std::array<signed char, 256> tabela{};
    for (int i = 0; i < 256; ++i) {
        int valor = -1;
        if (i >= '0' && i <= '9') valor = i - '0';
        if (i >= 'a' && i <= 'f') valor = i - 'a' + 10;
        if (i >= 'A' && i <= 'F') valor = i - 'A' + 10;
        tabela[static_cast<std::size_t>(i)] = static_cast<signed char>(valor);
    }
    return tabela;
}();

int valor_hexadecimal(char c) { return valores_hexadecimais[static_cast<unsigned char>(c)]; }

constexpr bool e_substituto_inicial(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool e_substituto_final(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The four hexadecimal digits at `p`, or -1 if any is not one.
int quatro_digitos_hexadecimais(const char* p) {
    const int a = valor_hexadecimal(p[0]);
    const int b = valor_hexadecimal(p[1]);
    const int c = valor_hexadecimal(p[2]);
    const int d = valor_hexadecimal(p[3]);
    // A bad digit is -1: any of them makes the OR negative.
    if ((a | b | c | d) < 0) return -1;
    return (a << 12) | (b << 8) | (c << 4) | d;
}

// After a backslash: the bytes of a well-formed \u escape there (5, or 11 for a surrogate pair),
// 0 for anything else, which ler_escape then reads for its diagnostic.
std::size_t escape_unicode_valido(const char* p, const char* fim) {
    if (fim - p < 5 || *p != 'u') return 0;
    const int unidade = quatro_digitos_hexadecimais(p + 1);
    if (unidade < 0 || e_substituto_final(static_cast<char32_t>(unidade))) return 0;
    if (!e_substituto_inicial(static_cast<char32_t>(unidade))) return 5;
    if (fim - p < 11 || p[5] != '\\' || p[6] != 'u') return 0;
    const int final = quatro_digitos_hexadecimais(p + 7);
    return final >= 0 && e_substituto_final(static_cast<char32_t>(final)) ? 11 : 0;
}

constexpr std::int64_t maior_expoente_escrito = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t limite_sem_transbordo = 1'000'000'000'000'000'000ULL;

}  // namespace

bool LeitorJson::falhar_no_proximo(std::string_view mensagem) {
    ++p_;
    return falhar_aqui(mensagem);
}

bool LeitorJson::falhar_no_fim(std::string_view mensagem) {
    p_ = fim_;
    return falhar_aqui(mensagem);
}

bool LeitorJson::falhar_aqui(std::string_view mensagem) {
    falha_ = FalhaJson{mensagem, lidos()};
    return false;
}

// The string at `inicio` that the inline scan did not settle: plain ASCII up to p, then a byte
// from 0x80 up, a special byte, or the sixteenth.
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

// At the opening quote of a string whose text nobody needs.
// flatten: the scan and the escape checks are inlined into this loop, which runs per escape.
[[gnu::flatten]] bool LeitorJson::saltar_string() {
    const char* p = p_ + 1;  // local: `char` reads may alias the members, see texto/varredura.hpp
    for (;;) {
        p = texto::primeiro_especial_json(inicio_, p, fim_);
        if (p == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        switch (*p) {
        case '"': p_ = p + 1; return true;
        case '\\':
            ++p;
            // A simple escape needs no decoding: step over it here; so does a \u escape that
            // stands for a character on its own or with its pair. What is left fails, through
            // ler_escape for its exact diagnostic (which would also read a good escape, should
            // the quick check above ever let one through).
            if (p < fim_ && e_escape_simples(*p)) {
                ++p;
                break;
            }
            if (const std::size_t bytes = escape_unicode_valido(p, fim_)) {
                p += bytes;
                break;
            }
            p_ = p;
            if (!ler_escape(nullptr)) return false;
            p = p_;
            break;
        default: p_ = p; return falhar_no_proximo(diagnostico::caractere_de_controle);
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
    default: return falhar_aqui(diagnostico::escape_invalido);
    }
    if (letra != 'u') {
        if (destino != nullptr) *destino += simples;
        return true;
    }
    char32_t unidade = 0;
    if (!ler_escape_unicode(unidade)) return false;
    if (e_substituto_final(unidade)) return falhar_aqui(diagnostico::substituto_isolado);
    if (e_substituto_inicial(unidade)) {
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != '\\') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != 'u') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        char32_t final = 0;
        if (!ler_escape_unicode(final)) return false;
        if (!e_substituto_final(final)) return falhar_aqui(diagnostico::substituto_isolado);
        unidade = 0x10000 + ((unidade - 0xD800) << 10U) + (final - 0xDC00);
    }
    if (destino != nullptr) texto::anexar_utf8(*destino, unidade);
    return true;
}

// The four bytes after \u, taken together: a bad digit fails at the fourth.
bool LeitorJson::ler_escape_unicode(char32_t& unidade) {
    if (fim_ - p_ < 4) return falhar_no_fim(diagnostico::fim_em_string);
    const int valor = quatro_digitos_hexadecimais(p_);
    p_ += 4;
    if (valor < 0) return falhar_aqui(diagnostico::escape_invalido);
    unidade = static_cast<char32_t>(valor);
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

namespace {

// Whether the eight bytes of `palavra` are all ASCII digits (a digit's high nibble is 3 and
// adding 6 keeps it so).
constexpr bool oito_digitos(std::uint64_t palavra) {
    return ((palavra & 0xF0F0F0F0F0F0F0F0ULL) | (((palavra + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4U)) ==
           0x3333333333333333ULL;
}

// The value of eight ASCII digits loaded from memory on a little-endian machine (the first digit
// in the lowest byte): pairs, then fours, then the eight, each step one multiplication.
constexpr std::uint64_t valor_de_oito_digitos(std::uint64_t palavra) {
    palavra = ((palavra & 0x0F0F0F0F0F0F0F0FULL) * 2561U) >> 8U;
    palavra = ((palavra & 0x00FF00FF00FF00FFULL) * 6553601U) >> 16U;
    return ((palavra & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32U;
}
static_assert(valor_de_oito_digitos(0x3837363534333231ULL) == 12345678U);

// Below this a significand takes eight more digits and stays below 10^18.
constexpr std::uint64_t limite_para_oito_digitos = 10'000'000'000ULL;

// Gathers eight digits at a time from `p` while they fit, on little-endian machines; returns how
// many it took. Whatever it leaves, the digit-by-digit loop after it gathers.
[[gnu::always_inline]] inline std::size_t juntar_oito_em_oito(const char*& p, const char* fim,
                                                              std::uint64_t& significando) {
    std::size_t juntados = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (fim - p >= 8 && significando < limite_para_oito_digitos) {
            std::uint64_t palavra = 0;
            std::memcpy(&palavra, p, sizeof palavra);
            if (!oito_digitos(palavra)) break;
            significando = significando * 100'000'000U + valor_de_oito_digitos(palavra);
            p += 8;
            juntados += 8;
        }
    }
    return juntados;
}

// Numbers whose decimal exponent is at most this cannot leave the double range: their
// significand is below 1.85e19.
constexpr std::int64_t maior_expoente_sem_transbordo = 288;

}  // namespace

bool LeitorJson::ler_numero_por_extenso(Numero& numero, bool com_valor) {
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
        // Below 10^18 another digit always fits (and nothing has overflowed yet, since an
        // overflow leaves the significand above that): the usual digit skips the division.
        if (significando < limite_sem_transbordo) {
            significando = significando * 10 + digito;
            return true;
        }
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
        juntar_oito_em_oito(p, fim_, significando);
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
        expoente -= static_cast<std::int64_t>(juntar_oito_em_oito(p, fim_, significando));
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
    // Dropped numbers are only checked for their range, which most exponents settle at once.
    if (!com_valor && (zerar || expoente <= maior_expoente_sem_transbordo)) return true;
    std::optional<double> valor = zerar ? 0.0 : valor_do_numero(significando, expoente);
    if (!valor) return falhar_aqui(diagnostico::numero_fora_do_intervalo);
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
            if (significando != 0 && !negativo) return falhar_aqui(diagnostico::numero_fora_do_intervalo);
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
    if (!saltar_string()) return false;
    int c = proximo_apos_espacos();
    if (c < 0) return falhar_no_fim(diagnostico::fim_em_objeto);
    if (c != ':') return falhar_no_proximo(diagnostico::esperava_dois_pontos);
    ++p_;
    return true;
}

namespace {

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

}  // namespace

// flatten: every helper the loop calls once per token (strings, numbers, literals, member names)
// is inlined into it; about a tenth fewer instructions on a long line.
[[gnu::flatten]] bool LeitorJson::ignorar_valor(int profundidade) {
    Abertos abertos;
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
            if (c != '-' && !e_digito(static_cast<char>(c)))
                return falhar(&LeitorJson::falhar_no_proximo, diagnostico::esperava_valor);
            // A one-digit number, the usual element of a short command, is stepped over as it is;
            // any other is read in full (not through the short path for integers, which would
            // only read the long ones of a long line twice).
            if (c != '-' && (fim - p < 2 || !continua_numero(p[1]))) {
                ++p;
                break;
            }
            Numero descartado;
            p_ = p;
            if (!ler_numero_por_extenso(descartado, false)) return false;
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
