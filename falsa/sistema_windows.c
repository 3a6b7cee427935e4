#include "sistema.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>

static wchar_t* largo(const char* utf8) {
    const int tamanho = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
    if (tamanho <= 0) {
        return NULL;
    }
    wchar_t* texto = malloc((size_t)tamanho * sizeof *texto);
    if (texto != NULL && MultiByteToWideChar(CP_UTF8, 0, utf8, -1, texto, tamanho) == 0) {
        free(texto);
        return NULL;
    }
    return texto;
}

static char* estreito(const wchar_t* texto, int comprimento) {
    const int bytes = comprimento == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, texto, comprimento, NULL, 0, NULL, NULL);
    char* utf8 = malloc((size_t)bytes + 1);
    if (utf8 != NULL) {
        if (bytes > 0) {
            WideCharToMultiByte(CP_UTF8, 0, texto, comprimento, utf8, bytes, NULL, NULL);
        }
        utf8[bytes] = '\0';
    }
    return utf8;
}

/* The C runtime's getenv would give the ANSI code page's bytes, which are not what the host
 * set. */
char* variavel_utf8(const char* nome) {
    wchar_t* nome_largo = largo(nome);
    if (nome_largo == NULL) {
        return NULL;
    }
    char* texto = NULL;
    const DWORD largura = GetEnvironmentVariableW(nome_largo, NULL, 0);
    if (largura == 0) {
        texto = GetLastError() == ERROR_ENVVAR_NOT_FOUND ? NULL : calloc(1, 1);
    } else {
        wchar_t* valor = malloc(largura * sizeof *valor);
        if (valor != NULL) {
            const DWORD lidos = GetEnvironmentVariableW(nome_largo, valor, largura);
            texto = estreito(valor, (int)lidos);
            free(valor);
        }
    }
    free(nome_largo);
    return texto;
}

FILE* abrir_arquivo(const char* caminho, const char* modo) {
    wchar_t* nome = largo(caminho);
    wchar_t* modo_largo = largo(modo);
    FILE* arquivo = nome != NULL && modo_largo != NULL ? _wfopen(nome, modo_largo) : NULL;
    free(nome);
    free(modo_largo);
    return arquivo;
}

int existe(const char* caminho) {
    wchar_t* nome = largo(caminho);
    const int resultado = nome != NULL && GetFileAttributesW(nome) != INVALID_FILE_ATTRIBUTES;
    free(nome);
    return resultado;
}

/* GetModuleFileNameW(NULL, ...) names the executable, not this library; it truncates silently
 * when the buffer is short, so the buffer grows until the name fits. */
char* pasta_do_executavel(void) {
    for (DWORD capacidade = 256; capacidade <= 32768 * 2; capacidade *= 2) {
        wchar_t* caminho = malloc(capacidade * sizeof *caminho);
        if (caminho == NULL) {
            return NULL;
        }
        const DWORD comprimento = GetModuleFileNameW(NULL, caminho, capacidade);
        if (comprimento > 0 && comprimento < capacidade) {
            DWORD pasta = comprimento;
            while (pasta > 0 && caminho[pasta - 1] != L'\\' && caminho[pasta - 1] != L'/') {
                --pasta;
            }
            char* utf8 = pasta > 0 ? estreito(caminho, (int)pasta) : NULL;
            free(caminho);
            return utf8;
        }
        free(caminho);
        if (comprimento == 0) {
            return NULL;
        }
    }
    return NULL;
}
