#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ponte::testes {

// A stand-in library built with the tests: its name and the directory that holds its file.
struct Falsa {
    std::string nome;
    std::filesystem::path diretorio;
};

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

}  // namespace ponte::testes
