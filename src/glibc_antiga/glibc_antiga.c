/* Two symbols of glibc 2.32 and 2.35 that the static libstdc++ and libgcc of g++ 12 refer to,
 * defined here for the build against glibc 2.31 (cmake/toolchains/bullseye.cmake), so that the
 * executable needs no symbol version above 2.31. Linked only into that build's executables, with
 * hidden visibility: they never take the place of the C library's own for anything the process
 * loads. */
#define _GNU_SOURCE /* dl_iterate_phdr, dladdr1 */

#include "objeto_encontrado.h"

#include <link.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#define OCULTO __attribute__((visibility("hidden")))

/* glibc 2.32 keeps here whether the process has ever had a second thread; libstdc++ then skips
 * atomic operations on reference counts. Without glibc's bookkeeping the answer is "it may
 * have": always the thread-safe path. Never written. */
OCULTO const char __libc_single_threaded = 0;

typedef struct {
    uintptr_t endereco;
    uintptr_t tamanho_da_pagina;
    struct dl_find_object* resultado;
} Busca;

/* For one loaded object (dl_iterate_phdr): when its mapping holds the address, fills what glibc
 * 2.35 would from its link map, and stops the walk. */
static int examinar_objeto(struct dl_phdr_info* objeto, size_t tamanho, void* dados) {
    (void)tamanho;
    Busca* busca = dados;
    uintptr_t inicio = UINTPTR_MAX;
    uintptr_t fim = 0;
    const ElfW(Phdr)* eh_frame = NULL;
    const ElfW(Phdr)* dinamica = NULL;
    for (ElfW(Half) i = 0; i < objeto->dlpi_phnum; ++i) {
        const ElfW(Phdr)* segmento = &objeto->dlpi_phdr[i];
        if (segmento->p_type == PT_LOAD) {
            /* As the dynamic loader maps it: from the page of the first segment to the byte
             * after the last one. */
            uintptr_t comeco = (objeto->dlpi_addr + segmento->p_vaddr) & ~(busca->tamanho_da_pagina - 1);
            uintptr_t final = objeto->dlpi_addr + segmento->p_vaddr + segmento->p_memsz;
            if (comeco < inicio) inicio = comeco;
            if (final > fim) fim = final;
        } else if (segmento->p_type == PT_GNU_EH_FRAME) {
            eh_frame = segmento;
        } else if (segmento->p_type == PT_DYNAMIC) {
            dinamica = segmento;
        }
    }
    if (busca->endereco < inicio || busca->endereco >= fim) return 0;

    struct dl_find_object* resultado = busca->resultado;
    memset(resultado, 0, sizeof *resultado);
    resultado->dlfo_map_start = (void*)inicio;
    resultado->dlfo_map_end = (void*)fim;
    if (eh_frame != NULL) resultado->dlfo_eh_frame = (void*)(objeto->dlpi_addr + eh_frame->p_vaddr);
#if defined(__i386__)
    /* The GOT's address, which the loader has already relocated in the dynamic section: what
     * libgcc took before g++ 12 (glibc 2.35 gives the entry's own address; g++ encodes nothing
     * relative to it on x86, so neither is read). */
    if (dinamica != NULL) {
        for (const ElfW(Dyn)* entrada = (const ElfW(Dyn)*)(objeto->dlpi_addr + dinamica->p_vaddr);
             entrada->d_tag != DT_NULL; ++entrada) {
            if (entrada->d_tag == DT_PLTGOT) {
                resultado->dlfo_eh_dbase = (void*)entrada->d_un.d_ptr;
                break;
            }
        }
    }
#else
    (void)dinamica;
#endif
    return 1;
}

/* glibc 2.35's lookup of the object that holds an address, which libgcc's unwinder in g++ 12
 * calls for every frame it unwinds; done the way libgcc did before it, over dl_iterate_phdr.
 * Exceptions are rare in the bridge (a failed allocation), so the lock dl_iterate_phdr takes
 * costs nothing that matters. */
OCULTO int _dl_find_object(void* endereco, struct dl_find_object* resultado) {
    Busca busca = {(uintptr_t)endereco, (uintptr_t)sysconf(_SC_PAGESIZE), resultado};
    if (dl_iterate_phdr(examinar_objeto, &busca) == 0) return -1;
    /* The link map, which dl_iterate_phdr does not give; taken once the walk is over, so that
     * no two of the loader's locks are held at once. */
    Dl_info informacao;
    void* mapa = NULL;
    if (dladdr1(endereco, &informacao, &mapa, RTLD_DL_LINKMAP) != 0) resultado->dlfo_link_map = mapa;
    return 0;
}
