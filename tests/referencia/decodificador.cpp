// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#include "referencia/comando.hpp"
#include "referencia/leitor_json.hpp"
#include "referencia/notacao.hpp"

#include <string>
#include <utility>

namespace ponte::referencia {
namespace {

constexpr std::string_view nome_da_etiqueta = "cmd";
constexpr std::string_view nome_da_versao = "versao";
constexpr std::string_view esperava_comando = ", expected internally tagged enum Comando";
constexpr std::string_view esperava_variante = ", expected variant identifier";

// Reads a value that cannot be an array or object (the caller looks at those itself) and
// describes it as "invalid type" diagnostics do. Empty on a syntax failure.
std::optional<std::string> ler_e_descrever_escalar(LeitorJson& leitor, int c, std::string* texto) {
    Numero numero;
    switch (c) {
    case -1: leitor.falhar_no_fim(diagnostico::fim_em_valor); return std::nullopt;
    case '"':
        if (!leitor.ler_string(texto)) return std::nullopt;
        return std::string();
    case 't':
        if (!leitor.ler_literal("true")) return std::nullopt;
        return "boolean `true`";
    case 'f':
        if (!leitor.ler_literal("false")) return std::nullopt;
        return "boolean `false`";
    case 'n':
        if (!leitor.ler_literal("null")) return std::nullopt;
        return "null";
    default:
        if (c == '-' || (c >= '0' && c <= '9')) {
            if (!leitor.ler_numero(numero)) return std::nullopt;
            return descrever_numero(numero);
        }
        leitor.falhar_no_proximo(diagnostico::esperava_valor);
        return std::nullopt;
    }
}

// The value in the variant-name place: only a string naming a variant is accepted.
bool ler_variante(LeitorJson& leitor) {
    int c = leitor.proximo_apos_espacos();
    // Arrays and objects are refused before their bracket is read.
    if (c == '[') return leitor.falhar_aqui("invalid type: sequence" + std::string(esperava_variante));
    if (c == '{') return leitor.falhar_aqui("invalid type: map" + std::string(esperava_variante));
    std::string nome;
    auto descricao = ler_e_descrever_escalar(leitor, c, &nome);
    if (!descricao) return false;
    if (c != '"') return leitor.falhar_aqui("invalid type: " + *descricao + std::string(esperava_variante));
    if (nome != nome_da_versao) return leitor.falhar_aqui("unknown variant `" + nome + "`, expected `versao`");
    return true;
}

// After the opening brace: members in any order, the tag exactly once.
bool ler_forma_de_objeto(LeitorJson& leitor) {
    bool etiqueta_vista = false;
    std::string nome;
    int c = leitor.proximo_apos_espacos();
    if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_objeto);
    if (c != '}') {
        for (;;) {
            if (c != '"') return leitor.falhar_no_proximo(diagnostico::chave_nao_e_string);
            nome.clear();
            if (!leitor.ler_string(&nome)) return false;
            bool e_etiqueta = nome == nome_da_etiqueta;
            if (e_etiqueta && etiqueta_vista) {
                leitor.proximo_apos_espacos();
                return leitor.falhar_aqui("duplicate field `cmd`");
            }
            c = leitor.proximo_apos_espacos();
            if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_objeto);
            if (c != ':') return leitor.falhar_no_proximo(diagnostico::esperava_dois_pontos);
            leitor.consumir();
            if (e_etiqueta) {
                if (!ler_variante(leitor)) return false;
                etiqueta_vista = true;
            } else if (!leitor.ignorar_valor(1)) {
                return false;
            }
            c = leitor.proximo_apos_espacos();
            if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_objeto);
            if (c == '}') break;
            if (c != ',') return leitor.falhar_no_proximo(diagnostico::esperava_virgula_ou_chave);
            leitor.consumir();
            c = leitor.proximo_apos_espacos();
            if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_valor);
            if (c == '}') return leitor.falhar_no_proximo(diagnostico::virgula_final);
        }
    }
    leitor.consumir();
    if (!etiqueta_vista) return leitor.falhar_aqui("missing field `cmd`");
    return true;
}

// After the opening bracket: the variant name, then elements the variant takes none of.
bool ler_forma_de_lista(LeitorJson& leitor) {
    int c = leitor.proximo_apos_espacos();
    if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_lista);
    if (c == ']') {
        leitor.consumir();
        return leitor.falhar_aqui("missing field `cmd`");
    }
    if (!ler_variante(leitor)) return false;
    std::size_t a_mais = 0;
    for (;;) {
        c = leitor.proximo_apos_espacos();
        if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_lista);
        if (c == ']') break;
        if (c != ',') return leitor.falhar_no_proximo(diagnostico::esperava_virgula_ou_colchete);
        leitor.consumir();
        c = leitor.proximo_apos_espacos();
        if (c < 0) return leitor.falhar_no_fim(diagnostico::fim_em_valor);
        if (c == ']') return leitor.falhar_no_proximo(diagnostico::virgula_final);
        if (!leitor.ignorar_valor(1)) return false;
        ++a_mais;
    }
    leitor.consumir();
    if (a_mais == 0) return true;
    auto mensagem = "invalid length " + std::to_string(a_mais) + ", expected 0 elements in sequence";
    return leitor.falhar_aqui(std::move(mensagem), false);
}

bool ler_comando(LeitorJson& leitor) {
    int c = leitor.proximo_apos_espacos();
    bool lido = false;
    if (c == '{') {
        leitor.consumir();
        lido = ler_forma_de_objeto(leitor);
    } else if (c == '[') {
        leitor.consumir();
        lido = ler_forma_de_lista(leitor);
    } else {
        std::string texto;
        auto descricao = ler_e_descrever_escalar(leitor, c, &texto);
        if (!descricao) return false;
        if (c == '"') *descricao = "string " + notacao_citada(texto);
        return leitor.falhar_aqui("invalid type: " + *descricao + std::string(esperava_comando));
    }
    if (!lido) return false;
    if (leitor.proximo_apos_espacos() >= 0) return leitor.falhar_no_proximo(diagnostico::caracteres_a_mais);
    return true;
}

// " at line L column C": L counts the line feeds before the failure point, C the bytes since
// the last of them.
std::string com_posicao(std::string_view texto, const FalhaJson& falha) {
    auto antes = texto.substr(0, falha.ponto);
    std::size_t linha = 1;
    for (char c : antes) linha += c == '\n' ? 1 : 0;
    auto ultima_quebra = antes.rfind('\n');
    std::size_t coluna = ultima_quebra == std::string_view::npos ? antes.size() : antes.size() - ultima_quebra - 1;
    return falha.mensagem + " at line " + std::to_string(linha) + " column " + std::to_string(coluna);
}

}  // namespace

Decodificacao decodificar_comando(std::string_view texto) {
    LeitorJson leitor(texto);
    if (ler_comando(leitor)) return Comando{Versao{}};
    auto falha = leitor.tomar_falha();
    if (!falha.com_posicao) return FalhaDeDecodificacao{std::move(falha.mensagem)};
    return FalhaDeDecodificacao{com_posicao(texto, falha)};
}

}  // namespace ponte::referencia
