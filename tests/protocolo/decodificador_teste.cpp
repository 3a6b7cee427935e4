#include "protocolo/linha.hpp"
#include "texto/varredura.hpp"

#include <string>
#include <vector>

namespace ponte::testes {
namespace {

struct Caso {
    std::string linha;
    std::string esperado;  // "Versao", or the whole response line / the diagnostic
};

void conferir_respostas(const std::vector<Caso>& casos) {
    for (const auto& caso : casos) EXPECT_EQ(resultado_da_linha(caso.linha), caso.esperado) << caso.linha;
}

void conferir_diagnosticos(const std::vector<Caso>& casos) {
    for (const auto& caso : casos) EXPECT_EQ(diagnostico_da_linha(caso.linha), caso.esperado) << caso.linha;
}

std::string invalido(std::string_view erro) {
    return R"({"ok":false,"erro":"comando inválido: )" + std::string(erro) + "\"}";
}

TEST(Decodificador, ExemplosCompletos) {
    conferir_respostas({
        {R"({"cmd":"versao"})", "Versao"},
        {R"({"x":1,"cmd":"versao","extra":[1,{"a":null}]})", "Versao"},
        {R"(["versao"])", "Versao"},
        {R"({"cmd" : "vers\u0061o"})", "Versao"},
        {R"({})", invalido("missing field `cmd` at line 1 column 2")},
        {R"([])", invalido("missing field `cmd` at line 1 column 2")},
        {R"({"cmd":"versao","cmd":"versao"})", invalido("duplicate field `cmd` at line 1 column 21")},
        //                   ^ column 21
        {R"({"cmd":"Versao"})", invalido("unknown variant `Versao`, expected `versao` at line 1 column 15")},
        {R"({"cmd":"versão"})", invalido("unknown variant `versão`, expected `versao` at line 1 column 16")},
        {R"({"cmd":"a\"b"})", invalido(R"(unknown variant `a\"b`, expected `versao` at line 1 column 13)")},
        {R"({"cmd":1})", invalido("invalid type: integer `1`, expected variant identifier at line 1 column 8")},
        {R"({"cmd":null})", invalido("invalid type: null, expected variant identifier at line 1 column 11")},
        {R"({"cmd":["versao"]})", invalido("invalid type: sequence, expected variant identifier at line 1 column 7")},
        {R"("versao")",
         invalido(R"(invalid type: string \"versao\", expected internally tagged enum Comando at line 1 column 8)")},
        {"true", invalido("invalid type: boolean `true`, expected internally tagged enum Comando at line 1 column 4")},
        {"-0",
         invalido("invalid type: floating point `-0.0`, expected internally tagged enum Comando at line 1 column 2")},
        {R"(["versao",1,2])", invalido("invalid length 2, expected 0 elements in sequence")},
        {R"({"cmd":"versao"} x)", invalido("trailing characters at line 1 column 18")},
        {R"({"cmd":"versao")", invalido("EOF while parsing an object at line 1 column 15")},
        {R"({"cmd":"vers)", invalido("EOF while parsing a string at line 1 column 12")},
        {R"({"cmd" "versao"})", invalido("expected `:` at line 1 column 8")},
        {R"({cmd:"versao"})", invalido("key must be a string at line 1 column 2")},
        {R"({"cmd":"versao",})", invalido("trailing comma at line 1 column 17")},
        {R"({"a":tru,"cmd":"versao"})", invalido("expected ident at line 1 column 9")},
    });
}

// The decoder says when its diagnostic is ASCII with nothing to escape, so that the answer copies
// it without looking; it may only say so when it is true, and says so for the usual ones.
TEST(Decodificador, DizQuandoODiagnosticoDispensaEscapes) {
    struct Caso {
        std::string linha;
        bool ascii_sem_escapes;
    };
    const std::vector<Caso> casos = {
        {R"({"cmd":"ajuda"})", true},
        {R"({})", true},
        {R"(["versao",1])", true},
        {R"({"cmd":1})", true},
        {R"({"cmd":-2.5e-3})", true},
        {R"({"cmd":"um nome de variante longo de mais de dezesseis bytes"})", true},
        {R"({"cmd":"versao" x)", true},
        {R"({"cmd":"a\"b"})", false},
        {R"({"cmd":"a\\b"})", false},
        {R"({"cmd":"a\nb"})", false},
        {R"({"cmd":"a\u0041b"})", true},
        {R"({"cmd":"versão"})", false},
        {R"({"cmd":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaversão"})", false},
        {R"("versao")", false},
        {"{\"cmd\":\"\x01\"}", false},
    };
    protocolo::Decodificador decodificador;
    for (const auto& caso : casos) {
        ASSERT_FALSE(decodificador.decodificar(caso.linha)) << caso.linha;
        const std::string_view diagnostico = decodificador.diagnostico();
        EXPECT_EQ(decodificador.diagnostico_ascii_sem_escapes(), caso.ascii_sem_escapes) << caso.linha;
        EXPECT_TRUE(texto::ascii_sem_escapes(diagnostico) || !decodificador.diagnostico_ascii_sem_escapes())
            << caso.linha;
    }
}

TEST(Decodificador, FormaDeObjeto) {
    conferir_diagnosticos({
        {R"({"a":[1,{"b":[]}],"cmd":"versao","c":{"cmd":1,"cmd":2}})", "Versao"},
        {R"({"b":1,"b":2,"cmd":"versao"})", "Versao"},
        {"{ \"cmd\"\t:\r\n\"versao\" }", "Versao"},
        {R"({"\u0063md":"versao"})", "Versao"},
        {R"({"cmd":"versao","cmd":})", "duplicate field `cmd` at line 1 column 21"},
        {R"({"cmd":"versao","cmd"  :1})", "duplicate field `cmd` at line 1 column 23"},
        //                       ^ 23: white space after the name counts
        {R"({"cmd":"versao","cmd")", "duplicate field `cmd` at line 1 column 21"},
        {R"({"cmd":"x","cmd":"versao"})", "unknown variant `x`, expected `versao` at line 1 column 10"},
        {R"({"cmd":"x")", "unknown variant `x`, expected `versao` at line 1 column 10"},
        {R"({"cmd":"VERSAO"})", "unknown variant `VERSAO`, expected `versao` at line 1 column 15"},
        {R"({"cmd":" versao"})", "unknown variant ` versao`, expected `versao` at line 1 column 16"},
        {R"({"cmd":"versao "})", "unknown variant `versao `, expected `versao` at line 1 column 16"},
        {R"({"cmd":""})", "unknown variant ``, expected `versao` at line 1 column 9"},
        {R"({"CMD":"versao"})", "missing field `cmd` at line 1 column 16"},
        {R"({"cmd ":"versao"})", "missing field `cmd` at line 1 column 17"},
        {R"({"a":1 })", "missing field `cmd` at line 1 column 8"},
        {R"({"cmd": {"a":1}})", "invalid type: map, expected variant identifier at line 1 column 8"},
        {R"({"cmd":[)", "invalid type: sequence, expected variant identifier at line 1 column 7"},
        {R"({"cmd":true})", "invalid type: boolean `true`, expected variant identifier at line 1 column 11"},
        {R"({"cmd":false})", "invalid type: boolean `false`, expected variant identifier at line 1 column 12"},
        {R"({"cmd":-12})", "invalid type: integer `-12`, expected variant identifier at line 1 column 10"},
        {R"({"cmd":1.5})", "invalid type: floating point `1.5`, expected variant identifier at line 1 column 10"},
        {R"({"cmd":0})", "invalid type: integer `0`, expected variant identifier at line 1 column 8"},
        {R"({"cmd":})", "expected value at line 1 column 8"},
        {R"({"cmd":)", "EOF while parsing a value at line 1 column 7"},
        {R"({"cmd")", "EOF while parsing an object at line 1 column 6"},
        {R"({"cmd)", "EOF while parsing a string at line 1 column 5"},
        {R"({)", "EOF while parsing an object at line 1 column 1"},
        {R"({"cmd":"versao",)", "EOF while parsing a value at line 1 column 16"},
        {R"({"cmd":"versao" "a":1})", "expected `,` or `}` at line 1 column 17"},
        {R"({"cmd":"versao",1:2})", "key must be a string at line 1 column 17"},
        {R"({"cmd":"versao",])", "key must be a string at line 1 column 17"},
        {R"({"a":[1,}, "cmd":"versao"})", "expected value at line 1 column 9"},
        {R"({"a":{"b":1,],"cmd":"versao"})", "key must be a string at line 1 column 13"},
        {R"({"a":[1,],"cmd":"versao"})", "trailing comma at line 1 column 9"},
        {R"({"a":{"b":1,},"cmd":"versao"})", "trailing comma at line 1 column 13"},
        {R"({"a":[1 2],"cmd":"versao"})", "expected `,` or `]` at line 1 column 9"},
        {R"({"a":{"b" 1},"cmd":"versao"})", "expected `:` at line 1 column 11"},
        {R"({"a":{"b":1 "c":2},"cmd":"versao"})", "expected `,` or `}` at line 1 column 13"},
        {R"({"a":nul)", "EOF while parsing a value at line 1 column 8"},
        {R"({"a":[)", "EOF while parsing a list at line 1 column 6"},
        {R"({"a":[1)", "EOF while parsing a list at line 1 column 7"},
        {R"({"a":[1,)", "EOF while parsing a value at line 1 column 8"},
        {R"({"a":{)", "EOF while parsing an object at line 1 column 6"},
        {R"({"a":{"b")", "EOF while parsing an object at line 1 column 9"},
        {R"({"a":{"b":)", "EOF while parsing a value at line 1 column 10"},
        {R"({"a":{"b":1)", "EOF while parsing an object at line 1 column 11"},
        {R"({"a":1e400,"cmd":"versao"})", "number out of range at line 1 column 10"},
        {R"({"a":'x',"cmd":"versao"})", "expected value at line 1 column 6"},
        {R"({"a":+1,"cmd":"versao"})", "expected value at line 1 column 6"},
        {"{\"a\":\"x\ty\",\"cmd\":\"versao\"}",
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 8"},
        {"{\"a\":\"x\\ty\",\"cmd\":\"versao\"}", "Versao"},
        {"{\"a\":1,\f\"cmd\":\"versao\"}", "key must be a string at line 1 column 8"},
        {"{\"a\":\xC2\xA0"
         "1}",
         "expected value at line 1 column 6"},
    });
}

TEST(Decodificador, FormaDeLista) {
    conferir_diagnosticos({
        {R"([ "versao" , {"a":[null]} , true ])", "invalid length 2, expected 0 elements in sequence"},
        {R"(["versao",{}])", "invalid length 1, expected 0 elements in sequence"},
        {R"(["versao"] x)", "trailing characters at line 1 column 12"},
        {R"(["versao",1] x)", "invalid length 1, expected 0 elements in sequence"},
        {R"([ ])", "missing field `cmd` at line 1 column 3"},
        {R"(["versao",])", "trailing comma at line 1 column 11"},
        {R"(["versao",})", "expected value at line 1 column 11"},
        {R"(["versao")", "EOF while parsing a list at line 1 column 9"},
        {R"([)", "EOF while parsing a list at line 1 column 1"},
        {R"(["versao",)", "EOF while parsing a value at line 1 column 10"},
        {R"(["versao" 1])", "expected `,` or `]` at line 1 column 11"},
        {R"([["versao"]])", "invalid type: sequence, expected variant identifier at line 1 column 1"},
        {R"([ {"cmd":"versao"}])", "invalid type: map, expected variant identifier at line 1 column 2"},
        {R"(["x",1])", "unknown variant `x`, expected `versao` at line 1 column 4"},
        {R"([1])", "invalid type: integer `1`, expected variant identifier at line 1 column 2"},
        {R"(["versao",1e999])", "number out of range at line 1 column 15"},
    });
}

TEST(Decodificador, ValorInteiroNaLinha) {
    const std::string comando = ", expected internally tagged enum Comando at line 1 column ";
    conferir_diagnosticos({
        {"null", "invalid type: null" + comando + "4"},
        {"false", "invalid type: boolean `false`" + comando + "5"},
        {"nulll", "invalid type: null" + comando + "4"},
        {"123 x", "invalid type: integer `123`" + comando + "3"},
        {"18446744073709551615", "invalid type: integer `18446744073709551615`" + comando + "20"},
        {"-9223372036854775808", "invalid type: integer `-9223372036854775808`" + comando + "20"},
        {"-9223372036854775809", "invalid type: floating point `-9.223372036854776e+18`" + comando + "20"},
        {"1e16", "invalid type: floating point `1e+16`" + comando + "4"},
        {"1e2", "invalid type: floating point `100.0`" + comando + "3"},
        {"18446744073709551616", "invalid type: floating point `1.8446744073709552e+19`" + comando + "20"},
        {"9007199254740993.0", "invalid type: floating point `9007199254740994.0`" + comando + "18"},
        {R"("a\tb\u0000\u00e3'\"\\")", R"(invalid type: string "a\tb\0ã'\"\\")" + comando + "23"},
        {R"("\u007f\u0301\u00ad\u200b\ue000 ")",
         R"(invalid type: string "\u{7f}\u{301}\u{ad}\u{200b}\u{e000} ")" + comando + "33"},
        {R"("\ud83d\ude00")", "invalid type: string \"\xF0\x9F\x98\x80\"" + comando + "14"},
        {"x", "expected value at line 1 column 1"},
        {"\xEF\xBB\xBF{}", "expected value at line 1 column 1"},
        {"tx", "expected ident at line 1 column 2"},
        {"t", "EOF while parsing a value at line 1 column 1"},
        {"\"abc", "EOF while parsing a string at line 1 column 4"},
    });
}

TEST(Decodificador, Strings) {
    conferir_diagnosticos({
        {R"("\x")", "invalid escape at line 1 column 3"},
        {R"("\u12G4")", "invalid escape at line 1 column 7"},
        //       ^ the fourth byte after \u, whichever digit is bad
        {R"("\uG234")", "invalid escape at line 1 column 7"},
        {"\"\\u12\xC3\xA3\"", "invalid escape at line 1 column 7"},
        {R"("\u12")", "EOF while parsing a string at line 1 column 6"},
        {R"("\u1")", "EOF while parsing a string at line 1 column 5"},
        {R"("\)", "EOF while parsing a string at line 1 column 2"},
        {R"("\uD800\u0041")", "lone leading surrogate in hex escape at line 1 column 13"},
        {R"("\uDC00")", "lone leading surrogate in hex escape at line 1 column 7"},
        {R"("\uD800\uD800")", "lone leading surrogate in hex escape at line 1 column 13"},
        {R"("\uD800")", "unexpected end of hex escape at line 1 column 8"},
        {R"("\uD800x")", "unexpected end of hex escape at line 1 column 8"},
        {R"("\uD800\n")", "unexpected end of hex escape at line 1 column 9"},
        {R"("\uD800)", "EOF while parsing a string at line 1 column 7"},
        {R"("\uD800\)", "EOF while parsing a string at line 1 column 8"},
        {R"("\uD800\u12")", "EOF while parsing a string at line 1 column 12"},
        {R"({"a":"\uDFFF","cmd":"versao"})", "lone leading surrogate in hex escape at line 1 column 12"},
        {std::string("\"a\0b\"", 5),
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"\"\x1F\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 2"},
        {"\"\x7F\"", "invalid type: string \"\\u{7f}\", expected internally tagged enum Comando at line 1 column 3"},
    });
}

TEST(Decodificador, Numeros) {
    conferir_diagnosticos({
        {"01", "invalid number at line 1 column 2"},
        {"-01", "invalid number at line 1 column 3"},
        {"-", "EOF while parsing a value at line 1 column 1"},
        {"-a", "invalid number at line 1 column 2"},
        {"1.", "EOF while parsing a value at line 1 column 2"},
        {"1.e5", "invalid number at line 1 column 3"},
        {"1e", "EOF while parsing a value at line 1 column 2"},
        {"1e+", "EOF while parsing a value at line 1 column 3"},
        {"1e+x", "invalid number at line 1 column 4"},
        {"1e400", "number out of range at line 1 column 5"},
        {"-1e400", "number out of range at line 1 column 6"},
        {"1.7976931348623158e308", "number out of range at line 1 column 22"},
        {"1e99999999999", "number out of range at line 1 column 12"},
        //           ^ the digit that took the exponent past 2147483647
        {"0e99999999999 x",
         "invalid type: floating point `0.0`, expected internally tagged enum Comando at line 1 column 13"},
        {"-1e-99999999999",
         "invalid type: floating point `-0.0`, expected internally tagged enum Comando at line 1 column 15"},
        {"1e-400", "invalid type: floating point `0.0`, expected internally tagged enum Comando at line 1 column 6"},
        {"0.0", "invalid type: floating point `0.0`, expected internally tagged enum Comando at line 1 column 3"},
        {"1E3", "invalid type: floating point `1000.0`, expected internally tagged enum Comando at line 1 column 3"},
    });
}

TEST(Decodificador, LimiteDeAninhamento) {
    const std::string prefixo = R"({"cmd":"versao","a":)";
    auto aninhado = [&](int n) {
        return prefixo + std::string(static_cast<std::size_t>(n), '[') + std::string(static_cast<std::size_t>(n), ']') +
               "}";
    };
    EXPECT_EQ(diagnostico_da_linha(aninhado(126)), "Versao");
    EXPECT_EQ(diagnostico_da_linha(aninhado(127)), "recursion limit exceeded at line 1 column 147");
    EXPECT_EQ(diagnostico_da_linha(std::string(127, '[') + std::string(127, ']')),
              "invalid type: sequence, expected variant identifier at line 1 column 1");
    EXPECT_EQ(diagnostico_da_linha("[\"versao\"," + std::string(126, '{')), "key must be a string at line 1 column 12");
    // Objects and arrays alternating: the 64th object is the 128th level.
    std::string objetos = "[\"versao\",";
    for (int i = 0; i < 64; ++i) objetos += "{\"a\":[";
    EXPECT_EQ(diagnostico_da_linha(objetos),
              "recursion limit exceeded at line 1 column " + std::to_string(10 + 63 * 6 + 1));
    // A million open brackets fail at the limit without exhausting the stack.
    EXPECT_EQ(diagnostico_da_linha(prefixo + std::string(1'000'000, '[')),
              "recursion limit exceeded at line 1 column 147");
}

// Exponents near -2^31 are zero at once, not after millions of divisions each: without that,
// this line alone would hold the bridge for many minutes.
TEST(Decodificador, ExpoentesNegativosEnormesSaoBaratos) {
    std::string linha = R"({"x":[)";
    for (int i = 0; i < 20'000; ++i) linha += "1e-2147483647,0.5e-2147483000,";
    linha += R"(0],"cmd":"versao"})";
    EXPECT_EQ(diagnostico_da_linha(linha), "Versao");
    EXPECT_EQ(diagnostico_da_linha("-1e-2147483647"),
              "invalid type: floating point `-0.0`, expected internally tagged enum Comando at line 1 column 14");
}

TEST(Decodificador, LinhaLongaNumMembroIgnorado) {
    std::string linha = R"({"x":[)";
    for (int i = 0; i < 200'000; ++i) linha += R"({"a":[1.5e3,-2,"\u00e3\n\"",true,null]},)";
    linha += R"(0],"cmd":"versao"})";
    EXPECT_EQ(diagnostico_da_linha(linha), "Versao");
}

}  // namespace
}  // namespace ponte::testes
