// The public JSON conformance corpus, as an outside check of the reader: each file's text is
// put in an ignored member in front of the tag, {"x":TEXT,"cmd":"versao"}.
#include "protocolo/diagnosticos_json.hpp"
#include "protocolo/linha.hpp"
#include "texto/utf8.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace ponte::testes {
namespace {

namespace fs = std::filesystem;

bool e_diagnostico_de_sintaxe(std::string_view diagnostico) {
    const auto& textos = protocolo::diagnostico::sintaxe;
    return std::any_of(textos.begin(), textos.end(), [&](std::string_view texto) {
        return diagnostico.substr(0, texto.size()) == texto && diagnostico.substr(texto.size(), 9) == " at line ";
    });
}

struct Contagem {
    int arquivos = 0;
    int cobertos = 0;
};

TEST(Conformidade, CorpusNumMembroIgnorado) {
    const fs::path pasta = PONTE_CORPUS_JSON;
    ASSERT_TRUE(fs::is_directory(pasta)) << "conformance corpus not found at " << pasta;

    std::map<char, Contagem> grupos;
    for (const auto& entrada : fs::directory_iterator(pasta)) {
        auto nome = entrada.path().filename().string();
        char grupo = nome[0];
        ++grupos[grupo].arquivos;
        std::ifstream arquivo(entrada.path(), std::ios::binary);
        std::string texto((std::istreambuf_iterator<char>(arquivo)), std::istreambuf_iterator<char>());
        // The bridge refuses lines that are not UTF-8 before decoding them.
        if (!texto::utf8_valido(texto)) continue;
        // Its second closing brace closes the wrapper itself, which then lacks the tag.
        if (nome == "n_structure_object_followed_by_closing_object.json") continue;
        ++grupos[grupo].cobertos;

        auto diagnostico = diagnostico_da_linha(R"({"x":)" + texto + R"(,"cmd":"versao"})");
        bool profundo = nome.find("100000_opening_arrays") != std::string::npos ||
                        nome.find("open_array_object") != std::string::npos;
        switch (grupo) {
        case 'y': EXPECT_EQ(diagnostico, decodificou_versao) << nome; break;
        case 'n':
            EXPECT_TRUE(e_diagnostico_de_sintaxe(diagnostico)) << nome << ": " << diagnostico;
            if (profundo) {
                EXPECT_EQ(diagnostico.substr(0, 24), "recursion limit exceeded") << nome;
            }
            break;
        default:
            EXPECT_TRUE(diagnostico == decodificou_versao || e_diagnostico_de_sintaxe(diagnostico))
                << nome << ": " << diagnostico;
        }
    }
    // An empty or misdirected walk must not pass silently.
    std::ostringstream relato;
    for (const auto& [grupo, contagem] : grupos)
        relato << grupo << ": " << contagem.cobertos << " of " << contagem.arquivos << "; ";
    EXPECT_EQ(grupos['y'].arquivos, 95) << relato.str();
    EXPECT_EQ(grupos['y'].cobertos, 95) << relato.str();
    EXPECT_EQ(grupos['n'].cobertos, 175) << relato.str();
    EXPECT_EQ(grupos['i'].cobertos, 22) << relato.str();
    RecordProperty("coverage", relato.str());
    std::cout << "conformance corpus: " << relato.str() << '\n';
}

}  // namespace
}  // namespace ponte::testes
