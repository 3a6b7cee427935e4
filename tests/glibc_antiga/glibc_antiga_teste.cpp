// The runtime of the old-glibc build (src/glibc_antiga/) checked in a program linked exactly as
// the bridge is: C++ exceptions unwind through the program's own frames and through the C
// library's, and the stand-in for glibc 2.35's _dl_find_object answers what glibc's own does
// wherever the C library has one. Run on the build machine and inside the Debian 11 tree by
// tools/testar-bullseye.sh; no GoogleTest, which the tree does not have.
#include "glibc_antiga/objeto_encontrado.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Every case answers an empty text when it holds, or what went wrong.
using Falha = std::string;

// Counts the destructors the unwinder runs on its way up.
struct Guarda {
    int& destruidas;
    ~Guarda() { ++destruidas; }
};

[[gnu::noinline]] void descer(int nivel, int& destruidas) {
    Guarda guarda{destruidas};
    if (nivel == 0) throw std::runtime_error("no fundo");
    descer(nivel - 1, destruidas);
    asm volatile("");  // keeps the recursive call from becoming a jump
}

Falha atraves_do_programa() {
    int destruidas = 0;
    try {
        descer(7, destruidas);
    } catch (const std::runtime_error& erro) {
        if (std::string(erro.what()) != "no fundo") return std::string("caught ") + erro.what();
        return destruidas == 8 ? "" : "destructors run: " + std::to_string(destruidas) + " of 8";
    }
    return "nothing caught";
}

// qsort calls back into the program from the C library's frames, which the unwinder must cross.
extern "C" int comparar_e_lancar(const void*, const void*) { throw std::out_of_range("comparado"); }

Falha atraves_da_biblioteca_c() {
    std::vector<int> numeros{3, 1, 2};
    try {
        std::qsort(numeros.data(), numeros.size(), sizeof(int), comparar_e_lancar);
    } catch (const std::logic_error& erro) {  // the base class catches the derived one
        return std::string(erro.what()) == "comparado" ? "" : std::string("caught ") + erro.what();
    }
    return "nothing caught";
}

// As the bridge's own allocations fail; the size is one no address space holds.
Falha alocacao_impossivel() {
    volatile std::size_t tamanho = std::numeric_limits<std::size_t>::max();
    try {
        void* bloco = ::operator new(tamanho);
        ::operator delete(bloco);
        return "allocated " + std::to_string(tamanho) + " bytes";
    } catch (const std::bad_alloc&) {
        return "";
    }
}

[[gnu::noinline]] void relancar() {
    try {
        throw 42;
    } catch (int) {
        throw;
    }
}

Falha relancada() {
    std::exception_ptr guardada;
    try {
        relancar();
    } catch (...) {
        guardada = std::current_exception();
    }
    try {
        std::rethrow_exception(guardada);
    } catch (int valor) {
        return valor == 42 ? "" : "caught " + std::to_string(valor);
    }
    return "nothing caught";
}

// --- _dl_find_object

using Encontrar = int (*)(void*, dl_find_object*);

std::string hexa(const void* ponteiro) {
    char texto[32];
    std::snprintf(texto, sizeof texto, "%p", ponteiro);
    return texto;
}

// The C library's own, where it has one (glibc 2.35 and later); the program's stays hidden.
Encontrar da_glibc() { return reinterpret_cast<Encontrar>(dlvsym(RTLD_DEFAULT, "_dl_find_object", "GLIBC_2.35")); }

link_map* mapa_de(void* handle) {
    link_map* mapa = nullptr;
    if (handle == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &mapa) != 0) return nullptr;
    return mapa;
}

// An address of this program, one of the C library's, and the link maps the loader keeps for both.
struct Enderecos {
    void* programa = reinterpret_cast<void*>(&atraves_do_programa);
    void* biblioteca_c = dlsym(RTLD_DEFAULT, "qsort");
    link_map* mapa_do_programa = mapa_de(dlopen(nullptr, RTLD_LAZY));
    link_map* mapa_da_biblioteca_c = mapa_de(dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD));
};

Falha conferir_objeto(const char* nome, void* endereco, const link_map* mapa_esperado) {
    dl_find_object achado{};
    if (_dl_find_object(endereco, &achado) != 0) return std::string(nome) + ": not found";
    const auto* inicio = static_cast<const unsigned char*>(achado.dlfo_map_start);
    const auto* fim = static_cast<const unsigned char*>(achado.dlfo_map_end);
    const auto* procurado = static_cast<const unsigned char*>(endereco);
    const auto* eh_frame = static_cast<const unsigned char*>(achado.dlfo_eh_frame);
    if (procurado < inicio || procurado >= fim) return std::string(nome) + ": outside the mapping it gave";
    if (achado.dlfo_link_map != mapa_esperado) return std::string(nome) + ": another link map";
    // .eh_frame_hdr starts with its version, 1, inside the same mapping.
    if (eh_frame == nullptr || eh_frame < inicio || eh_frame >= fim || *eh_frame != 1)
        return std::string(nome) + ": no exception header at " + hexa(eh_frame);
    return "";
}

Falha objetos_carregados() {
    Enderecos enderecos;
    if (enderecos.mapa_do_programa == nullptr || enderecos.mapa_da_biblioteca_c == nullptr)
        return "no link map from dlinfo";
    auto falha = conferir_objeto("program", enderecos.programa, enderecos.mapa_do_programa);
    if (falha.empty()) falha = conferir_objeto("libc.so.6", enderecos.biblioteca_c, enderecos.mapa_da_biblioteca_c);
    return falha;
}

Falha fora_de_qualquer_objeto() {
    int na_pilha = 0;
    auto no_heap = std::make_unique<int>(0);
    dl_find_object achado{};
    if (_dl_find_object(&na_pilha, &achado) != -1) return "a stack address was found in an object";
    if (_dl_find_object(no_heap.get(), &achado) != -1) return "a heap address was found in an object";
    return "";
}

Falha simbolos_ocultos() {
    void* exportado = dlsym(RTLD_DEFAULT, "_dl_find_object");
    if (exportado == reinterpret_cast<void*>(&_dl_find_object)) return "the program exports its _dl_find_object";
    return "";
}

Falha igual_ao_da_glibc() {
    Encontrar glibc = da_glibc();
    if (glibc == nullptr) return "";  // reported as skipped by main
    Enderecos enderecos;
    int na_pilha = 0;
    auto no_heap = std::make_unique<int>(0);
    const std::pair<const char*, void*> casos[] = {
        {"program", enderecos.programa},
        {"libc.so.6", enderecos.biblioteca_c},
        {"vDSO", reinterpret_cast<void*>(getauxval(AT_SYSINFO_EHDR))},
        {"stack", &na_pilha},
        {"heap", no_heap.get()},
    };
    for (const auto& [nome, endereco] : casos) {
        dl_find_object nosso{};
        dl_find_object deles{};
        const int nosso_retorno = _dl_find_object(endereco, &nosso);
        const int deles_retorno = glibc(endereco, &deles);
        std::string diferencas;
        if (nosso_retorno != deles_retorno)
            diferencas += " returns " + std::to_string(nosso_retorno) + " / " + std::to_string(deles_retorno);
        if (nosso_retorno == 0 && deles_retorno == 0) {
            const auto comparar = [&diferencas](const char* campo, const void* a, const void* b) {
                if (a != b) diferencas += std::string(" ") + campo + " " + hexa(a) + " / " + hexa(b);
            };
            if (nosso.dlfo_flags != deles.dlfo_flags) diferencas += " dlfo_flags";
            comparar("dlfo_map_start", nosso.dlfo_map_start, deles.dlfo_map_start);
            comparar("dlfo_map_end", nosso.dlfo_map_end, deles.dlfo_map_end);
            comparar("dlfo_link_map", nosso.dlfo_link_map, deles.dlfo_link_map);
            comparar("dlfo_eh_frame", nosso.dlfo_eh_frame, deles.dlfo_eh_frame);
            // Not dlfo_eh_dbase (i386): glibc 2.35 gives the address of the DT_PLTGOT entry,
            // ours the GOT address it holds, as libgcc's own lookup did before g++ 12. g++ never
            // encodes exception data relative to it on x86 (pc-relative only), so neither is read.
        }
        if (!diferencas.empty()) return std::string(nome) + " (ours / glibc's):" + diferencas;
    }
    return "";
}

struct Caso {
    const char* nome;
    Falha (*executar)();
};

const Caso casos[] = {
    {"exception through 8 frames of the program, destructors run", atraves_do_programa},
    {"exception through the C library (qsort's comparison), caught by its base class", atraves_da_biblioteca_c},
    {"std::bad_alloc from an impossible allocation", alocacao_impossivel},
    {"exception rethrown, kept in an exception_ptr, thrown again", relancada},
    {"_dl_find_object: the program and libc.so.6, their link maps and exception headers", objetos_carregados},
    {"_dl_find_object: stack and heap addresses are in no object", fora_de_qualquer_objeto},
    {"_dl_find_object: the program's is not exported", simbolos_ocultos},
    {"_dl_find_object: the same answers as glibc's own", igual_ao_da_glibc},
};

}  // namespace

int main() {
    int passaram = 0;
    int falharam = 0;
    int pulados = 0;
    for (const auto& caso : casos) {
        if (caso.executar == igual_ao_da_glibc && da_glibc() == nullptr) {
            std::printf("skipped: %s (this glibc has none)\n", caso.nome);
            ++pulados;
            continue;
        }
        const Falha falha = caso.executar();
        if (falha.empty()) {
            std::printf("ok: %s\n", caso.nome);
            ++passaram;
        } else {
            std::printf("FAILED: %s: %s\n", caso.nome, falha.c_str());
            ++falharam;
        }
    }
    std::printf("%d passed, %d failed, %d skipped\n", passaram, falharam, pulados);
    return falharam == 0 ? 0 : 1;
}
