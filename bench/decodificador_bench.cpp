#include "linhas.hpp"
#include "protocolo/decodificador.hpp"
#include "registro.hpp"
#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <string_view>
#include <variant>

namespace ponte::bench {
namespace {

struct Caso {
    const char* nome;
    std::string_view linha;
    // A piece of the diagnostic the line must get, or empty when it must decode: checked once
    // before timing, so a case cannot silently stop measuring what it is named after.
    std::string_view trecho;
};

// Both valid forms, and one line per family of diagnostic.
constexpr std::array casos = {
    Caso{"valido/objeto", R"({"cmd":"versao"})", ""},
    Caso{"valido/lista", R"(["versao"])", ""},
    Caso{"valido/membros_ignorados", R"({"id":42,"cmd":"versao","extra":[true,null,{"a":-1.5e3}]})", ""},
    Caso{"valido/espacos_e_escape", R"({ "\u0063md" : "versao" })", ""},
    Caso{"fim/objeto", R"({"cmd":"versao")", "EOF while parsing an object"},
    Caso{"fim/string", R"({"cmd":"vers)", "EOF while parsing a string"},
    Caso{"sintaxe/dois_pontos", R"({"cmd" "versao"})", "expected `:`"},
    Caso{"sintaxe/virgula", R"(["versao" 1])", "expected `,` or `]`"},
    Caso{"sintaxe/valor", R"({"cmd":})", "expected value"},
    Caso{"sintaxe/identificador", R"({"cmd":tru})", "expected ident"},
    Caso{"sintaxe/chave", R"({cmd:"versao"})", "key must be a string"},
    Caso{"sintaxe/virgula_final", R"({"cmd":"versao",})", "trailing comma"},
    Caso{"sintaxe/caracteres_a_mais", R"({"cmd":"versao"} x)", "trailing characters"},
    Caso{"string/escape", R"({"cmd":"\x"})", "invalid escape"},
    Caso{"string/controle", "{\"cmd\":\"ver\tsao\"}", "control character"},
    Caso{"string/substituto", R"({"cmd":"\udc00"})", "lone leading surrogate"},
    Caso{"string/fim_de_escape", R"({"cmd":"\ud800x"})", "unexpected end of hex escape"},
    Caso{"numero/invalido", R"({"a":01,"cmd":"versao"})", "invalid number"},
    Caso{"numero/fora_do_intervalo", R"({"a":1e400,"cmd":"versao"})", "number out of range"},
    Caso{"conteudo/campo_ausente", R"({})", "missing field `cmd`"},
    Caso{"conteudo/campo_duplicado", R"({"cmd":"versao","cmd":"versao"})", "duplicate field"},
    Caso{"conteudo/variante_desconhecida", R"({"cmd":"ajuda"})", "unknown variant `ajuda`"},
    Caso{"conteudo/tipo_da_variante", R"({"cmd":-2.5e-3})", "expected variant identifier"},
    Caso{"conteudo/tipo_do_comando", R"("vers\u00e3o\n")", "expected internally tagged enum"},
    Caso{"conteudo/comprimento", R"(["versao",1,2])", "invalid length 2"},
};

// Empty when the line decodes, else its diagnostic.
std::string diagnostico_de(std::string_view linha) {
    const auto resultado = protocolo::decodificar_comando(linha);
    if (const auto* falha = std::get_if<protocolo::FalhaDeDecodificacao>(&resultado)) return falha->diagnostico;
    return {};
}

// One decoder for every iteration, as the loop keeps one for every line.
void decodificar(benchmark::State& estado, std::string_view linha, std::string_view trecho) {
    const std::string diagnostico = diagnostico_de(linha);
    if (trecho.empty() != diagnostico.empty() || diagnostico.find(trecho) == std::string::npos) {
        estado.SkipWithError(("unexpected result: " + diagnostico).c_str());
        return;
    }
    protocolo::Decodificador decodificador;
    for (auto _ : estado) {
        auto resultado = decodificador.decodificar(linha);
        benchmark::DoNotOptimize(resultado);
        benchmark::DoNotOptimize(decodificador.diagnostico().data());
    }
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations()) * static_cast<std::int64_t>(linha.size()));
}

// What the loop does with a line before answering: validate, trim, decode.
void linha_inteira(benchmark::State& estado, std::string_view linha) {
    protocolo::Decodificador decodificador;
    for (auto _ : estado) {
        bool valida = texto::utf8_valido(linha);
        auto resultado = decodificador.decodificar(texto::aparar_espaco_branco(linha));
        benchmark::DoNotOptimize(valida);
        benchmark::DoNotOptimize(resultado);
    }
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations()) * static_cast<std::int64_t>(linha.size()));
}

void validar_utf8(benchmark::State& estado, std::string_view linha) {
    for (auto _ : estado) {
        bool valida = texto::utf8_valido(linha);
        benchmark::DoNotOptimize(valida);
    }
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations()) * static_cast<std::int64_t>(linha.size()));
}

}  // namespace

void registrar_decodificador(const std::string& linha_grande, const std::string& linha_grande_falha) {
    for (const Caso& caso : casos) {
        const std::string nome = std::string("decodificar/") + caso.nome;
        benchmark::RegisterBenchmark(nome.c_str(), decodificar, caso.linha, caso.trecho);
    }
    // Nesting: the deepest line that decodes, the same refused at its end for an unknown variant
    // (the whole-process workload), arrays and objects alternating, and the first too deep.
    struct Aninhada {
        const char* nome;
        std::string linha;
        std::string_view trecho;
    };
    for (const Aninhada& caso :
         {Aninhada{"decodificar/aninhada_120", linha_aninhada(120), ""},
          Aninhada{"decodificar/aninhada_120_ajuda", linha_aninhada(120, "ajuda"), "unknown variant"},
          Aninhada{"decodificar/aninhada_mista_120", linha_aninhada_mista(120), ""},
          Aninhada{"decodificar/aninhada_128", linha_aninhada(128), "recursion limit exceeded"}}) {
        benchmark::RegisterBenchmark(caso.nome, [linha = caso.linha, trecho = caso.trecho](benchmark::State& estado) {
            decodificar(estado, linha, trecho);
        });
    }
    const std::string_view grande = linha_grande;
    benchmark::RegisterBenchmark("grande_32MiB/decodificar", decodificar, grande, std::string_view())
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grande_32MiB/decodificar_falha_no_fim", decodificar,
                                 std::string_view(linha_grande_falha), std::string_view("expected `,` or `}`"))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grande_32MiB/utf8_valido", validar_utf8, grande)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grande_32MiB/linha_inteira", linha_inteira, grande)->Unit(benchmark::kMillisecond);
}

}  // namespace ponte::bench
