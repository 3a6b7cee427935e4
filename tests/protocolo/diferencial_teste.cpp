// The bridge's complete answer to a line against the reference implementation's (the reader,
// decoder and encoder as first committed, frozen in tests/referencia/): on seeded random and
// mutated lines, the conformance corpus and the fuzz corpora, byte for byte. One decoder and one
// answer buffer serve every line, as in the process, so that nothing left from one line shows in
// the next.
#include "laco/atendimento.hpp"
#include "protocolo/diagnosticos_json.hpp"
#include "referencia/comando.hpp"
#include "referencia/resposta.hpp"
#include "referencia/utf8.hpp"
#include "texto/utf8.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view resposta_da_versao = R"({"ok":true,"nome":"N","versao":"V"})";

protocolo::Resposta versao_fixa() { return protocolo::Resposta::sucesso("N", "V"); }

// The reference's answer line, as the first committed loop built it.
std::string resposta_de_referencia(std::string_view linha) {
    const auto decodificado = referencia::decodificar_comando(linha);
    if (std::holds_alternative<referencia::Comando>(decodificado)) return std::string(resposta_da_versao);
    const auto& falha = std::get<referencia::FalhaDeDecodificacao>(decodificado);
    auto texto = referencia::codificar(referencia::resposta_comando_invalido(falha.diagnostico));
    return texto ? *texto : std::string(referencia::resposta_de_reserva);
}

class Comparacao {
public:
    // Compares one line; true when the answers are the same bytes.
    bool conferir(std::string_view linha) {
        resposta_.limpar();
        // As the loop calls it for a line, which holds no line feed.
        const bool uma_linha = linha.find('\n') == std::string_view::npos;
        atendente_.atender(linha, resposta_, uma_linha ? protocolo::Quebras::nenhuma : protocolo::Quebras::possiveis);
        const std::string esperada = resposta_de_referencia(linha);
        ++linhas;
        if (resposta_.texto() == esperada) {
            if (esperada == resposta_da_versao) ++versoes;
            anotar_tipo(esperada);
            return true;
        }
        ADD_FAILURE() << "line (" << linha.size()
                      << " bytes): " << testing::PrintToString(std::string(linha).substr(0, 300))
                      << "\n  bridge:    " << resposta_.texto() << "\n  reference: " << esperada;
        return false;
    }

    std::size_t linhas = 0;
    std::size_t versoes = 0;
    std::set<std::string_view> tipos;  // the kinds of diagnostic seen

private:
    void anotar_tipo(std::string_view resposta) {
        constexpr std::string_view prefixo = R"({"ok":false,"erro":"comando inválido: )";
        if (resposta.substr(0, prefixo.size()) != prefixo) return;
        resposta.remove_prefix(prefixo.size());
        for (const std::string_view tipo : tipos_conhecidos) {
            // Compared up to its first backslash, which the answer escapes.
            const std::string_view inicio = tipo.substr(0, tipo.find('\\'));
            if (resposta.substr(0, inicio.size()) == inicio) tipos.insert(tipo);
        }
    }

    static constexpr std::array<std::string_view, 6> tipos_de_conteudo = {
        "invalid type: ",        "unknown variant `", "missing field `cmd`",
        "duplicate field `cmd`", "invalid length ",   "recursion limit exceeded"};
    static constexpr auto tipos_conhecidos = [] {
        std::array<std::string_view, protocolo::diagnostico::sintaxe.size() + tipos_de_conteudo.size()> todos{};
        std::size_t i = 0;
        for (auto tipo : protocolo::diagnostico::sintaxe) todos[i++] = tipo;
        for (auto tipo : tipos_de_conteudo) todos[i++] = tipo;
        return todos;
    }();

    laco::Atendente atendente_{&versao_fixa};
    texto::Acumulador resposta_;
};

// A fixed-seed xorshift: the same lines on every platform and standard library.
class Sorteio {
public:
    explicit Sorteio(std::uint64_t semente) : estado_(semente) {}
    std::uint64_t proximo() {
        estado_ ^= estado_ << 13U;
        estado_ ^= estado_ >> 7U;
        estado_ ^= estado_ << 17U;
        return estado_;
    }
    std::size_t ate(std::size_t limite) { return static_cast<std::size_t>(proximo() % limite); }
    template <typename Lista>
    auto um_de(const Lista& lista) {
        return lista[ate(std::size(lista))];
    }

private:
    std::uint64_t estado_;
};

// Pieces the generator draws from: every token shape the reader knows, and near misses.
constexpr std::array<std::string_view, 28> pedacos_de_string = {
    "a",
    "versao",
    "cmd",
    "ajuda",
    " ",
    "\\n",
    "\\t",
    "\\\"",
    "\\\\",
    "\\/",
    "\\b\\f\\r",
    "\\u0041",
    "\\u00e3",
    "\\ud83d\\ude00",
    "\\ud800",
    "\\udc00",
    "\\ud800\\u0041",
    "\\u12",
    "\\x",
    "\\",
    "ç",
    "€",
    "😀",
    "\\u007f",
    "\\u0301",
    "\\u200b",
    "\x7f",
    "\t",
};
constexpr std::array<std::string_view, 26> numeros = {
    "0",
    "-0",
    "1",
    "-12",
    "1.5",
    "-2.5e-3",
    "1e400",
    "-1e400",
    "1e-400",
    "1E3",
    "01",
    "-",
    "1.",
    "1.e5",
    "1e",
    "1e+",
    "18446744073709551615",
    "18446744073709551616",
    "-9223372036854775808",
    "-9223372036854775809",
    "9007199254740993.0",
    "0e99999999999",
    "1e99999999999",
    "-1e-99999999999",
    "123456789012345678901234.5e-3",
    "2.2250738585072014e-308",
};
constexpr std::array<std::string_view, 12> literais = {"true", "false", "null",  "tru",  "nul", "fals",
                                                       "t",    "nulll", "truex", "True", "NaN", "Infinity"};
constexpr std::array<std::string_view, 10> espacos = {"", "", "", "", " ", "\t", "\n", "\r\n", " \n ", "\f"};
// What a mutation may insert: punctuation, quotes, escapes, controls, white space, UTF-8.
constexpr std::array<std::string_view, 24> insercoes = {"{",
                                                        "}",
                                                        "[",
                                                        "]",
                                                        ":",
                                                        ",",
                                                        "\"",
                                                        "\\",
                                                        "\n",
                                                        " ",
                                                        "\t",
                                                        "\r",
                                                        "0",
                                                        "-",
                                                        "e",
                                                        ".",
                                                        "u",
                                                        "t",
                                                        "\x01",
                                                        "\x1f",
                                                        "\xC3\xA3",
                                                        "\xE2\x80\xA8",
                                                        "\xF0\x9F\x98\x80",
                                                        "\x00"};

class Gerador {
public:
    explicit Gerador(std::uint64_t semente) : sorteio_(semente) {}

    // One command-shaped line, then perhaps a few mutations.
    std::string linha() {
        s_.clear();
        switch (sorteio_.ate(8)) {
        case 0:
            s_ += "{\"cmd\":";
            valor(1);
            s_ += '}';
            break;
        case 1: objeto_com_etiqueta(); break;
        case 2:
            s_ += "[\"versao\"";
            for (std::size_t i = sorteio_.ate(3); i > 0; --i) {
                s_ += ',';
                valor(1);
            }
            s_ += ']';
            break;
        case 3:
            s_ += '[';
            valor(1);
            s_ += ']';
            break;
        case 4: valor(0); break;
        case 5:
            s_ += "{\"cmd\":\"versao\",\"cmd\":";
            valor(1);
            s_ += '}';
            break;
        case 6:
            // Around the depth limit.
            s_ += "{\"cmd\":\"versao\",\"x\":";
            for (std::size_t n = 120 + sorteio_.ate(12); n > 0; --n) s_ += sorteio_.ate(4) == 0 ? "{\"a\":" : "[";
            s_ += '}';
            break;
        default: objeto_com_etiqueta(); break;
        }
        if (sorteio_.ate(4) == 0) s_ += sorteio_.um_de(std::array<std::string_view, 4>{" x", " ", "}", "\n"});
        for (std::size_t mutacoes = sorteio_.ate(3) == 0 ? 1 + sorteio_.ate(3) : 0; mutacoes > 0; --mutacoes) mutar();
        return s_;
    }

private:
    void espaco() { s_ += sorteio_.um_de(espacos); }

    void string() {
        s_ += '"';
        for (std::size_t i = sorteio_.ate(4); i > 0; --i) s_ += sorteio_.um_de(pedacos_de_string);
        s_ += '"';
    }

    void valor(int profundidade) {
        espaco();
        switch (sorteio_.ate(profundidade < 6 ? 9 : 6)) {
        case 0:
        case 1: string(); break;
        case 2: s_ += sorteio_.um_de(numeros); break;
        case 3: s_ += sorteio_.um_de(literais); break;
        case 4: s_ += "\"versao\""; break;
        case 5: s_ += sorteio_.ate(2) == 0 ? "[]" : "{}"; break;
        case 6:
            s_ += '[';
            for (std::size_t i = 0, n = sorteio_.ate(4); i < n; ++i) {
                if (i > 0) s_ += ',';
                valor(profundidade + 1);
            }
            espaco();
            s_ += ']';
            break;
        default:
            s_ += '{';
            for (std::size_t i = 0, n = sorteio_.ate(4); i < n; ++i) {
                if (i > 0) s_ += ',';
                espaco();
                string();
                espaco();
                s_ += ':';
                valor(profundidade + 1);
            }
            espaco();
            s_ += '}';
        }
        espaco();
    }

    void objeto_com_etiqueta() {
        s_ += '{';
        const std::size_t membros = sorteio_.ate(4);
        const std::size_t etiqueta = sorteio_.ate(membros + 1);
        for (std::size_t i = 0; i <= membros; ++i) {
            if (i > 0) s_ += ',';
            espaco();
            if (i == etiqueta) {
                s_ += sorteio_.um_de(std::array<std::string_view, 4>{"\"cmd\"", "\"cmd\"", "\"\\u0063md\"", "\"CMD\""});
                espaco();
                s_ += ':';
                espaco();
                s_ += sorteio_.ate(3) == 0 ? "\"ajuda\"" : "\"versao\"";
            } else {
                string();
                espaco();
                s_ += ':';
                valor(1);
            }
        }
        espaco();
        s_ += '}';
    }

    void mutar() {
        if (s_.empty()) return;
        const std::size_t posicao = sorteio_.ate(s_.size());
        switch (sorteio_.ate(5)) {
        case 0: s_.erase(posicao, 1); break;
        case 1: s_.insert(posicao, sorteio_.um_de(insercoes)); break;
        case 2: s_.replace(posicao, 1, sorteio_.um_de(insercoes)); break;
        case 3: s_.resize(posicao); break;
        default: s_.insert(posicao, s_.substr(sorteio_.ate(s_.size()), sorteio_.ate(8))); break;
        }
    }

    Sorteio sorteio_;
    std::string s_;
};

TEST(Diferencial, LinhasAleatoriasEMutadas) {
    Comparacao comparacao;
    Gerador gerador(0x5EED0001ULL);
    std::size_t falhas = 0;
    for (int i = 0; i < 100'000 && falhas < 20; ++i) falhas += comparacao.conferir(gerador.linha()) ? 0 : 1;
    EXPECT_EQ(comparacao.linhas, 100'000U);
    // The mix must keep both outcomes and every kind of diagnostic in play, or the comparison
    // would leave paths of the reader unchecked.
    EXPECT_GT(comparacao.versoes, 5'000U);
    EXPECT_LT(comparacao.versoes, 60'000U);
    std::string ausentes;
    for (auto tipo : protocolo::diagnostico::sintaxe)
        if (!comparacao.tipos.contains(tipo)) ausentes += std::string(tipo) + "; ";
    EXPECT_EQ(ausentes, "");
    EXPECT_EQ(comparacao.tipos.size(), 24U) << ausentes;
}

// The usual object with a variant this bridge does not know is answered without the reader; at
// the edges of that shortcut (the name's length and bytes, what follows it, white space, the
// known name and its near misses) every answer is still the reader's.
TEST(Diferencial, VarianteDesconhecidaNaFormaUsual) {
    Comparacao comparacao;
    const std::vector<std::string> nomes = {"",
                                            "a",
                                            "ajuda",
                                            "versao",
                                            "versa",
                                            "versao2",
                                            "Versao",
                                            "vers\\u0061o",
                                            "versão",
                                            std::string(15, 'a'),
                                            std::string(16, 'a'),
                                            std::string(17, 'a'),
                                            std::string(40, 'a'),
                                            "a\\\"b",
                                            "a\\u0041",
                                            "a\tb",
                                            "a b",
                                            "\x7f",
                                            "ç",
                                            std::string(15, 'a') + "ç"};
    const std::vector<std::string> aberturas = {R"({"cmd":")",  R"({"cmd": ")", R"({ "cmd":")",
                                                R"({"cmd" :")", R"({"CMD":")",  R"(["cmd":")"};
    const std::vector<std::string> depois = {"\"}", "\"", "\" x", "\",\"cmd\":1}", "", "\"\n}", "\n\"}", "\"]"};
    for (const std::string& abertura : aberturas)
        for (const std::string& nome : nomes)
            for (const std::string& fim : depois) comparacao.conferir(abertura + nome + fim);
    EXPECT_EQ(comparacao.linhas, aberturas.size() * nomes.size() * depois.size());
}

// Long lines, with line feeds in their white space, so that the position of a failure is
// counted over many words, and failures near the end of a long prefix.
TEST(Diferencial, LinhasLongasComQuebras) {
    Comparacao comparacao;
    Sorteio sorteio(0x5EED0002ULL);
    Gerador gerador(0x5EED0003ULL);
    for (int i = 0; i < 400; ++i) {
        std::string linha = "{\"x\":[";
        for (std::size_t n = 1 + sorteio.ate(300); n > 0; --n) {
            linha +=
                sorteio.um_de(std::array<std::string_view, 6>{"1", "\"a\\n\"", "\n", " \n\n", "{\"b\":[null]}", "  "});
            linha += ',';
        }
        linha += gerador.linha();
        linha += sorteio.um_de(std::array<std::string_view, 5>{"],\"cmd\":\"versao\"}", "]", "],\"cmd\":\"x\"}\n ",
                                                               "\n]\n,\"cmd\":1}", "],\"cmd\":\"versao\"]"});
        comparacao.conferir(linha);
    }
    EXPECT_EQ(comparacao.linhas, 400U);
}

// Numbers of every length around the eight-digit steps and the 64-bit limit, in each part of a
// number, both where the diagnostic describes them and where they are only checked.
TEST(Diferencial, NumerosDeTodosOsComprimentos) {
    Comparacao comparacao;
    const std::string noves = std::string(45, '9');
    const std::string digitos = "1234567890123456789012345678901234567890";
    for (std::size_t n = 1; n <= 40; ++n) {
        for (const std::string& corpo : {digitos.substr(0, n), noves.substr(0, n), "1" + std::string(n - 1, '0')}) {
            for (const std::string& numero :
                 {corpo, "-" + corpo, "0." + corpo, corpo + "." + corpo, corpo + "e" + corpo.substr(0, n % 12 + 1),
                  "1e-" + corpo, corpo + "E+" + corpo.substr(0, n % 4 + 1), "-0.0000" + corpo + "e-300"}) {
                comparacao.conferir(numero);
                comparacao.conferir(R"({"cmd":)" + numero + "}");
                comparacao.conferir(R"({"x":[)" + numero + R"(],"cmd":"versao"})");
                comparacao.conferir(R"({"x":)" + numero + R"(x,"cmd":"versao"})");
            }
        }
    }
    EXPECT_EQ(comparacao.linhas, 40U * 3 * 8 * 4);
}

// The UTF-8 check, whose shortcuts for two- and three-byte characters and ASCII blocks the
// loop relies on before anything else, against the first one: byte strings built from lead
// and continuation bytes at every boundary of the well-formed ranges, cut anywhere.
TEST(Diferencial, Utf8ValidoConcordaComOPrimeiro) {
    constexpr std::array<unsigned char, 24> bytes = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                                     0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xDF, 0xE0, 0xE1,
                                                     0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    constexpr std::array<std::string_view, 6> validos = {
        "a", "\xC3\xA3", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\x9F\xBF", "\xE0\xA0\x80"};
    Sorteio sorteio(0x5EED0004ULL);
    std::size_t validas = 0;
    for (int i = 0; i < 200'000; ++i) {
        std::string texto;
        for (std::size_t n = sorteio.ate(40); n > 0; --n) {
            if (sorteio.ate(3) == 0) {
                texto += static_cast<char>(sorteio.um_de(bytes));
            } else {
                texto += sorteio.um_de(validos);
            }
        }
        const bool esperado = referencia::utf8_valido(texto);
        ASSERT_EQ(texto::utf8_valido(texto), esperado) << testing::PrintToString(texto);
        validas += esperado ? 1 : 0;
    }
    EXPECT_GT(validas, 10'000U);
    EXPECT_LT(validas, 190'000U);
}

// Every file of a directory, as a line of its own and inside an ignored member. Invalid UTF-8
// (which the loop never hands over) is compared too: the answers must agree even there.
std::size_t conferir_arquivos(Comparacao& comparacao, const fs::path& pasta) {
    std::size_t arquivos = 0;
    for (const auto& entrada : fs::recursive_directory_iterator(pasta)) {
        if (!entrada.is_regular_file()) continue;
        std::ifstream arquivo(entrada.path(), std::ios::binary);
        const std::string texto((std::istreambuf_iterator<char>(arquivo)), std::istreambuf_iterator<char>());
        comparacao.conferir(texto);
        comparacao.conferir(R"({"x":)" + texto + R"(,"cmd":"versao"})");
        ++arquivos;
    }
    return arquivos;
}

TEST(Diferencial, CorpusDeConformidade) {
    const fs::path pasta = PONTE_CORPUS_JSON;
    ASSERT_TRUE(fs::is_directory(pasta)) << "conformance corpus not found at " << pasta;
    Comparacao comparacao;
    EXPECT_EQ(conferir_arquivos(comparacao, pasta), 318U);
}

TEST(Diferencial, CorporaDeFuzz) {
    Comparacao comparacao;
    const fs::path corpora = PONTE_CORPORA_DE_FUZZ;
    EXPECT_GE(conferir_arquivos(comparacao, corpora / "decodificador"), 300U);
    EXPECT_GE(conferir_arquivos(comparacao, corpora / "laco"), 8U);
}

}  // namespace
}  // namespace ponte::testes
