#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace ponte::testes {

// A stand-in library built with the tests: its name and the directory that holds its file.
struct Falsa {
    std::string nome;
    std::filesystem::path diretorio;
};

inline void PrintTo(const Falsa& falsa, std::ostream* saida) { *saida << falsa.nome; }

// The C stand-in, always, and the Free Pascal one where fpc was found.
inline Falsa falsa_c() { return {"c", std::filesystem::path(PONTE_LIB_FALSA).parent_path()}; }

inline std::vector<Falsa> falsas_pascal([[maybe_unused]] bool tambem_sem_cthreads) {
    std::vector<Falsa> lista;
#ifdef PONTE_FALSA_PASCAL
    lista.push_back({"pascal", std::filesystem::path(PONTE_FALSAS_DIR) / "pascal"});
    if (tambem_sem_cthreads)
        lista.push_back({"pascal_sem_cthreads", std::filesystem::path(PONTE_FALSAS_DIR) / "pascal_sem_cthreads"});
#endif
    return lista;
}

// The library's configuration file, which the stand-ins (as the library) keep in the folder of
// the running executable: the bridge's.
#ifdef _WIN32
inline constexpr const char* arquivo_de_configuracao = "ACBrLib.ini";
#else
inline constexpr const char* arquivo_de_configuracao = "acbrlib.ini";
#endif

// That file beside an executable, in UTF-8, as the call record shows it: the folder as the
// system reports it (on Linux after symbolic links).
inline std::string configuracao_ao_lado_de(const std::filesystem::path& executavel) {
#ifdef _WIN32
    const auto pasta = std::filesystem::absolute(executavel).parent_path();
#else
    const auto pasta = std::filesystem::canonical(executavel).parent_path();
#endif
    const auto texto = (pasta / arquivo_de_configuracao).u8string();
    return {texto.begin(), texto.end()};
}

// A file's text, read in text mode (the stand-in's call record, with its line ends as "\n").
inline std::string ler_texto(const std::filesystem::path& arquivo) {
    std::ifstream entrada(arquivo);
    return {std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>()};
}

// The call record of one version query that gets the library's texts.
inline std::string ciclo_registrado(const std::string& configuracao) {
    return "carregar\ninicializar\nconfiguracao " + configuracao + "\nnome\nversao\nfinalizar\ndescarregar\n";
}

}  // namespace ponte::testes
