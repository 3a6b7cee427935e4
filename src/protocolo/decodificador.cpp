#include "protocolo/decodificador.hpp"
#include "protocolo/leitor_json.hpp"
#include "protocolo/notacao.hpp"
#include "protocolo/numero_json.hpp"
#include "protocolo/string_json.hpp"
#include "texto/posicao.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <cassert>
#include <charconv>
#include <string>

namespace ponte::protocolo {
namespace {

constexpr std::string_view nome_da_etiqueta = "cmd";
constexpr std::string_view nome_da_versao = "versao";
// The same as JSON strings without escapes, which is how nearly every command writes them.
constexpr std::string_view etiqueta_citada = R"("cmd")";
constexpr std::string_view versao_citada = R"("versao")";
// How nearly every command starts, up to its variant's name.
constexpr std::string_view abertura_usual = R"({"cmd":")";
constexpr std::string_view tipo_invalido = "invalid type: ";
constexpr std::string_view esperava_comando = ", expected internally tagged enum Comando";
constexpr std::string_view esperava_variante = ", expected variant identifier";

// A diagnostic buffer that grew past this for one odd line is given back rather than kept.
constexpr std::size_t capacidade_retida = std::size_t{64} * 1024;

// A value that cannot be an array or object, as read.
struct Escalar {
    enum class Tipo { string, verdadeiro, falso, nulo, numero };
    Tipo tipo = Tipo::nulo;
    std::string_view texto;  // string: the unescaped text
    Numero numero;
};

constexpr std::size_t digitos_maximos = 20;  // of 2^64 - 1

// Writes the decimal digits of `valor` at `destino`, which has room for digitos_maximos; gives
// their end.
char* escrever_inteiro(char* destino, std::size_t valor) {
    return std::to_chars(destino, destino + digitos_maximos, valor).ptr;
}

void anexar_inteiro(texto::Acumulador& destino, std::size_t valor) {
    destino.avancar_ate(escrever_inteiro(destino.abrir(digitos_maximos), valor));
}

void anexar_variante_desconhecida(texto::Acumulador& diagnostico, std::string_view nome) {
    constexpr std::string_view antes = "unknown variant `";
    constexpr std::string_view depois = "`, expected `versao`";
    char* p = diagnostico.abrir(antes.size() + nome.size() + depois.size());
    diagnostico.avancar_ate(texto::copiar(texto::copiar(texto::copiar(p, antes), nome), depois));
}

// " at line L column C": L counts the line feeds before the failure point, C the bytes since
// the last of them.
void anexar_posicao(texto::Acumulador& diagnostico, texto::Posicao posicao) {
    constexpr std::string_view linha = " at line ";
    constexpr std::string_view coluna = " column ";
    char* p = diagnostico.abrir(linha.size() + digitos_maximos + coluna.size() + digitos_maximos);
    // Lines the loop serves hold no line feed: their suffix starts with one fixed piece.
    if (posicao.linha == 1) {
        p = texto::copiar(p, " at line 1 column ");
    } else {
        p = texto::copiar(escrever_inteiro(texto::copiar(p, linha), posicao.linha), coluna);
    }
    diagnostico.avancar_ate(escrever_inteiro(p, posicao.coluna));
}

// Reads one command text on the JSON reader, for one decoding. Failures of the JSON reader are its
// fixed syntax diagnostics; the failures about the command's content are written into the
// diagnostic buffer, empty until then, as they are found.
class LeitorDeComando {
public:
    LeitorDeComando(std::string_view texto, texto::Acumulador& diagnostico, std::string& rascunho)
        : leitor_(texto), diagnostico_(diagnostico), rascunho_(rascunho) {}

    bool ler_comando();

    // After a failure: the diagnostic, position suffix included, in the buffer.
    void escrever_diagnostico(std::string_view texto, Quebras quebras);

    // Whether the diagnostic is ASCII with nothing to escape in JSON: false once a text taken
    // from the command that is not so has gone into it.
    bool diagnostico_ascii_sem_escapes() const { return ascii_sem_escapes_; }

private:
    bool ler_escalar(int c, Escalar& escalar);
    void anexar_descricao(const Escalar& escalar);
    bool ler_variante();
    bool ler_forma_de_objeto();
    bool ler_forma_de_lista();

    // Fails after the bytes read so far with the text the buffer holds (`com_posicao`: followed by
    // the position suffix).
    bool falhar_com_o_escrito(bool com_posicao = true) {
        escrito_ = true;
        com_posicao_ = com_posicao;
        ponto_ = leitor_.lidos();
        return false;
    }
    bool falhar_com(std::string_view mensagem) {
        diagnostico_.anexar(mensagem);
        return falhar_com_o_escrito();
    }

    LeitorJson leitor_;
    texto::Acumulador& diagnostico_;
    std::string& rascunho_;
    bool ascii_sem_escapes_ = true;
    bool escrito_ = false;  // the failure is the decoder's own, in the buffer
    bool com_posicao_ = true;
    std::size_t ponto_ = 0;
};

// Reads a value that cannot be an array or object (the caller looks at those itself). The text of
// a string lives in the line or in the scratch buffer until the next string is read.
bool LeitorDeComando::ler_escalar(int c, Escalar& escalar) {
    switch (c) {
    case -1: return leitor_.falhar_no_fim(diagnostico::fim_em_valor);
    case '"': escalar.tipo = Escalar::Tipo::string; return leitor_.ler_string(escalar.texto, rascunho_);
    case 't': escalar.tipo = Escalar::Tipo::verdadeiro; return leitor_.ler_literal("true");
    case 'f': escalar.tipo = Escalar::Tipo::falso; return leitor_.ler_literal("false");
    case 'n': escalar.tipo = Escalar::Tipo::nulo; return leitor_.ler_literal("null");
    default:
        if (c == '-' || (c >= '0' && c <= '9')) {
            escalar.tipo = Escalar::Tipo::numero;
            return leitor_.ler_numero(escalar.numero);
        }
        return leitor_.falhar_no_proximo(diagnostico::esperava_valor);
    }
}

// How "invalid type" diagnostics describe a value.
void LeitorDeComando::anexar_descricao(const Escalar& escalar) {
    switch (escalar.tipo) {
    case Escalar::Tipo::string:
        diagnostico_.anexar("string ");
        anexar_notacao_citada(diagnostico_, escalar.texto);
        ascii_sem_escapes_ = false;  // the notation is between double quotes
        break;
    case Escalar::Tipo::verdadeiro: diagnostico_.anexar("boolean `true`"); break;
    case Escalar::Tipo::falso: diagnostico_.anexar("boolean `false`"); break;
    case Escalar::Tipo::nulo: diagnostico_.anexar("null"); break;
    case Escalar::Tipo::numero: anexar_descricao_do_numero(diagnostico_, escalar.numero); break;
    }
}

// The value in the variant-name place: only a string naming a variant is accepted.
bool LeitorDeComando::ler_variante() {
    const int c = leitor_.proximo_apos_espacos();
    // Arrays and objects are refused before their bracket is read.
    if (c == '[' || c == '{') {
        diagnostico_.anexar(tipo_invalido);
        diagnostico_.anexar(c == '[' ? "sequence" : "map");
        diagnostico_.anexar(esperava_variante);
        return falhar_com_o_escrito();
    }
    if (leitor_.consumir_se(versao_citada)) return true;
    Escalar escalar;
    if (!ler_escalar(c, escalar)) return false;
    if (escalar.tipo != Escalar::Tipo::string) {
        diagnostico_.anexar(tipo_invalido);
        anexar_descricao(escalar);
        diagnostico_.anexar(esperava_variante);
        return falhar_com_o_escrito();
    }
    if (escalar.texto == nome_da_versao) return true;
    anexar_variante_desconhecida(diagnostico_, escalar.texto);
    ascii_sem_escapes_ = leitor_.string_ascii_sem_escapes() || texto::ascii_sem_escapes(escalar.texto);
    return falhar_com_o_escrito();
}

// After the opening brace: members in any order, the tag exactly once.
bool LeitorDeComando::ler_forma_de_objeto() {
    bool etiqueta_vista = false;
    int c = leitor_.proximo_apos_espacos();
    if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_objeto);
    if (c != '}') {
        for (;;) {
            if (c != '"') return leitor_.falhar_no_proximo(diagnostico::chave_nao_e_string);
            std::string_view nome = nome_da_etiqueta;
            if (!leitor_.consumir_se(etiqueta_citada) && !leitor_.ler_string(nome, rascunho_)) return false;
            const bool e_etiqueta = nome == nome_da_etiqueta;
            if (e_etiqueta && etiqueta_vista) {
                leitor_.proximo_apos_espacos();
                return falhar_com("duplicate field `cmd`");
            }
            c = leitor_.proximo_apos_espacos();
            if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_objeto);
            if (c != ':') return leitor_.falhar_no_proximo(diagnostico::esperava_dois_pontos);
            leitor_.consumir();
            if (e_etiqueta) {
                if (!ler_variante()) return false;
                etiqueta_vista = true;
            } else if (!leitor_.ignorar_valor(1)) {
                return false;
            }
            c = leitor_.proximo_apos_espacos();
            if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_objeto);
            if (c == '}') break;
            if (c != ',') return leitor_.falhar_no_proximo(diagnostico::esperava_virgula_ou_chave);
            leitor_.consumir();
            c = leitor_.proximo_apos_espacos();
            if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_valor);
            if (c == '}') return leitor_.falhar_no_proximo(diagnostico::virgula_final);
        }
    }
    leitor_.consumir();
    if (!etiqueta_vista) return falhar_com("missing field `cmd`");
    return true;
}

// After the opening bracket: the variant name, then elements the variant takes none of.
bool LeitorDeComando::ler_forma_de_lista() {
    int c = leitor_.proximo_apos_espacos();
    if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_lista);
    if (c == ']') {
        leitor_.consumir();
        return falhar_com("missing field `cmd`");
    }
    if (!ler_variante()) return false;
    std::size_t a_mais = 0;
    for (;;) {
        c = leitor_.proximo_apos_espacos();
        if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_lista);
        if (c == ']') break;
        if (c != ',') return leitor_.falhar_no_proximo(diagnostico::esperava_virgula_ou_colchete);
        leitor_.consumir();
        c = leitor_.proximo_apos_espacos();
        if (c < 0) return leitor_.falhar_no_fim(diagnostico::fim_em_valor);
        if (c == ']') return leitor_.falhar_no_proximo(diagnostico::virgula_final);
        if (!leitor_.ignorar_valor(1)) return false;
        ++a_mais;
    }
    leitor_.consumir();
    if (a_mais == 0) return true;
    diagnostico_.anexar("invalid length ");
    anexar_inteiro(diagnostico_, a_mais);
    diagnostico_.anexar(", expected 0 elements in sequence");
    return falhar_com_o_escrito(false);
}

bool LeitorDeComando::ler_comando() {
    const int c = leitor_.proximo_apos_espacos();
    bool lido = false;
    if (c == '{') {
        leitor_.consumir();
        lido = ler_forma_de_objeto();
    } else if (c == '[') {
        leitor_.consumir();
        lido = ler_forma_de_lista();
    } else {
        Escalar escalar;
        if (!ler_escalar(c, escalar)) return false;
        diagnostico_.anexar(tipo_invalido);
        anexar_descricao(escalar);
        diagnostico_.anexar(esperava_comando);
        return falhar_com_o_escrito();
    }
    if (!lido) return false;
    if (leitor_.proximo_apos_espacos() >= 0) return leitor_.falhar_no_proximo(diagnostico::caracteres_a_mais);
    return true;
}

// The reader's message, unless the decoder wrote its own, then the position suffix.
void LeitorDeComando::escrever_diagnostico(std::string_view texto, Quebras quebras) {
    if (!escrito_) {
        diagnostico_.anexar(leitor_.falha().mensagem);
        ascii_sem_escapes_ = texto::ascii_sem_escapes(leitor_.falha().mensagem);
        ponto_ = leitor_.falha().ponto;
    } else if (!com_posicao_) {
        return;
    }
    assert(quebras == Quebras::possiveis || texto.find('\n') == std::string_view::npos);
    anexar_posicao(diagnostico_, quebras == Quebras::nenhuma ? texto::Posicao{1, ponto_}
                                                             : texto::posicao_do_fim(texto.substr(0, ponto_)));
}

// The command a host that speaks a newer protocol sends most: the usual object, with a variant
// this bridge does not know. `{"cmd":"`, a short name of plain ASCII and its closing quote decide
// the answer by themselves, since the reader fails right after that quote whatever follows: the
// name, when the text starts so and the name is not the one known. Anything else, spaces or
// escapes or a long or non-ASCII name included, goes to the reader. The name is the one the
// reader's quick path for strings would settle.
std::optional<std::string_view> variante_desconhecida_a_vista(std::string_view texto) {
    if (!texto.starts_with(abertura_usual)) return std::nullopt;
    const char* const nome = texto.data() + abertura_usual.size();
    const char* const fim = texto.data() + texto.size();
    const char* const p = detalhe::fim_do_ascii_curto(nome, fim);
    if (p == fim || *p != '"') return std::nullopt;
    const std::string_view variante(nome, static_cast<std::size_t>(p - nome));
    if (variante == nome_da_versao) return std::nullopt;
    return variante;
}

}  // namespace

// flatten: the reading and writing helpers of this file, and the reader's quick paths, are
// inlined into one body, which every short line runs (see docs/performance.md).
[[gnu::flatten]] std::optional<Comando> Decodificador::decodificar(std::string_view texto, Quebras quebras) {
    diagnostico_.esvaziar(capacidade_retida);
    if (const std::optional<std::string_view> variante = variante_desconhecida_a_vista(texto)) {
        anexar_variante_desconhecida(diagnostico_, *variante);
        // The failure is right after the name's closing quote, on the text's first line.
        anexar_posicao(diagnostico_, {1, abertura_usual.size() + variante->size() + 1});
        diagnostico_ascii_sem_escapes_ = true;
        return std::nullopt;
    }
    if (rascunho_.capacity() > capacidade_retida) rascunho_ = std::string();
    LeitorDeComando leitor(texto, diagnostico_, rascunho_);
    if (leitor.ler_comando()) return Comando{Versao{}};
    leitor.escrever_diagnostico(texto, quebras);
    diagnostico_ascii_sem_escapes_ = leitor.diagnostico_ascii_sem_escapes();
    return std::nullopt;
}

Decodificacao decodificar_comando(std::string_view texto) {
    Decodificador decodificador;
    if (auto comando = decodificador.decodificar(texto)) return *comando;
    return FalhaDeDecodificacao{std::string(decodificador.diagnostico())};
}

}  // namespace ponte::protocolo
