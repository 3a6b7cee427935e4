// Counting replacements of the global allocation functions, for this test executable only.
#include "alocacao/contagem.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> contador{0};

void* alocar(std::size_t tamanho) {
    contador.fetch_add(1, std::memory_order_relaxed);
    if (void* bloco = std::malloc(tamanho == 0 ? 1 : tamanho)) return bloco;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t tamanho) { return alocar(tamanho); }
void* operator new[](std::size_t tamanho) { return alocar(tamanho); }
void* operator new(std::size_t tamanho, const std::nothrow_t&) noexcept {
    try {
        return alocar(tamanho);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t tamanho, const std::nothrow_t& sem_excecao) noexcept {
    return operator new(tamanho, sem_excecao);
}
void operator delete(void* bloco) noexcept { std::free(bloco); }
void operator delete[](void* bloco) noexcept { std::free(bloco); }
void operator delete(void* bloco, std::size_t) noexcept { std::free(bloco); }
void operator delete[](void* bloco, std::size_t) noexcept { std::free(bloco); }
void operator delete(void* bloco, const std::nothrow_t&) noexcept { std::free(bloco); }
void operator delete[](void* bloco, const std::nothrow_t&) noexcept { std::free(bloco); }

// On glibc, malloc and its kin are counted too (the line buffer grows with realloc), forwarding
// to the C library's own entry points. The sanitizers replace malloc themselves: not there.
#if defined(__SANITIZE_ADDRESS__)
#define PONTE_SANITIZADO 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define PONTE_SANITIZADO 1
#endif
#endif

#if defined(__GLIBC__) && !defined(PONTE_SANITIZADO)
extern "C" {
void* __libc_malloc(std::size_t tamanho);                       // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(std::size_t quantos, std::size_t tamanho);  // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* bloco, std::size_t tamanho);         // NOLINT(bugprone-reserved-identifier)

void* malloc(std::size_t tamanho) noexcept {
    contador.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(tamanho);
}
void* calloc(std::size_t quantos, std::size_t tamanho) noexcept {
    contador.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(quantos, tamanho);
}
void* realloc(void* bloco, std::size_t tamanho) noexcept {
    contador.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(bloco, tamanho);
}
}
#define PONTE_MALLOC_CONTADO 1
#endif

namespace ponte::testes {

std::size_t alocacoes_feitas() { return contador.load(std::memory_order_relaxed); }

bool malloc_contado() {
#if defined(PONTE_MALLOC_CONTADO)
    return true;
#else
    return false;
#endif
}

}  // namespace ponte::testes
