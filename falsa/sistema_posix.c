#include "sistema.h"

#include <stdlib.h>
#include <string.h>

#include <sys/stat.h>
#include <unistd.h>

char* variavel_utf8(const char* nome) {
    const char* valor = getenv(nome);
    if (valor == NULL) {
        return NULL;
    }
    char* copia = malloc(strlen(valor) + 1);
    if (copia != NULL) {
        strcpy(copia, valor);
    }
    return copia;
}

FILE* abrir_arquivo(const char* caminho, const char* modo) { return fopen(caminho, modo); }

int existe(const char* caminho) {
    struct stat estado;
    return stat(caminho, &estado) == 0;
}

/* readlink truncates silently when the buffer is short, so the buffer grows until the whole
 * path fits. */
char* pasta_do_executavel(void) {
    for (size_t capacidade = 256; capacidade <= (size_t)1 << 20; capacidade *= 2) {
        char* caminho = malloc(capacidade);
        if (caminho == NULL) {
            return NULL;
        }
        const ssize_t comprimento = readlink("/proc/self/exe", caminho, capacidade);
        if (comprimento > 0 && (size_t)comprimento < capacidade) {
            size_t pasta = (size_t)comprimento;
            while (pasta > 0 && caminho[pasta - 1] != '/') {
                --pasta;
            }
            if (pasta == 0) {
                free(caminho);
                return NULL;
            }
            caminho[pasta] = '\0';
            return caminho;
        }
        free(caminho);
        if (comprimento <= 0) {
            return NULL;
        }
    }
    return NULL;
}
