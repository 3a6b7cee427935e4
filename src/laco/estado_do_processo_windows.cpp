#include "laco/estado_do_processo.hpp"

#include <windows.h>

// The bridge's own arithmetic runs on SSE where the target has it; without SSE it runs on the
// x87 unit, whose control word fesetenv does put back.
#if defined(__SSE__)
#include <xmmintrin.h>
#define PONTE_COM_SSE 1
#endif

namespace ponte::laco {

EstadoDoProcesso EstadoDoProcesso::capturar() noexcept {
    EstadoDoProcesso estado;
    std::fegetenv(&estado.ponto_flutuante_);
#ifdef PONTE_COM_SSE
    estado.mxcsr_ = _mm_getcsr();
#endif
    // The C runtime can only tell a handler by setting another: put each one straight back.
    for (std::size_t i = 0; i < sinais.size(); ++i) {
        const Tratador tratador = std::signal(sinais[i], SIG_DFL);
        estado.tratadores_[i] = tratador == SIG_ERR ? SIG_DFL : tratador;
        std::signal(sinais[i], estado.tratadores_[i]);
    }
    const LPTOP_LEVEL_EXCEPTION_FILTER filtro = ::SetUnhandledExceptionFilter(nullptr);
    ::SetUnhandledExceptionFilter(filtro);
    estado.filtro_de_excecoes_ = reinterpret_cast<Funcao>(filtro);
    const DWORD tamanho = ::GetCurrentDirectoryW(0, nullptr);
    if (tamanho > 0) {
        estado.diretorio_.resize(tamanho);
        const DWORD escritos = ::GetCurrentDirectoryW(tamanho, estado.diretorio_.data());
        estado.diretorio_.resize(escritos < tamanho ? escritos : 0);
    }
    return estado;
}

void EstadoDoProcesso::restaurar() const noexcept {
    std::fesetenv(&ponto_flutuante_);
#ifdef PONTE_COM_SSE
    _mm_setcsr(mxcsr_);
#endif
    for (std::size_t i = 0; i < sinais.size(); ++i) std::signal(sinais[i], tratadores_[i]);
    ::SetUnhandledExceptionFilter(reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(filtro_de_excecoes_));
    if (!diretorio_.empty()) ::SetCurrentDirectoryW(diretorio_.c_str());
}

}  // namespace ponte::laco
