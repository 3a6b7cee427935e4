/* The floor of a version query: per input line, the bare cycle on the library named by
 * argv[1] (stat, dlopen, four dlsym, the four calls with zeroed 8192-byte buffers, dlclose)
 * and one write(2) of the answer. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int32_t (*Inicializar)(void**, const char*, const char*);
typedef int32_t (*Finalizar)(void*);
typedef int32_t (*Texto)(void*, char*, int32_t*);

/* ISO C has no conversion from dlsym's object pointer to a function pointer: copy the bits. */
static void simbolo(void* lib, const char* nome, void* funcao, size_t tamanho) {
    void* endereco = dlsym(lib, nome);
    memcpy(funcao, &endereco, tamanho);
}

static void responder(const char* caminho) {
    char saida[256];
    int n = snprintf(saida, sizeof saida, "{\"ok\":false}\n");
    struct stat estado;
    void* lib = stat(caminho, &estado) == 0 ? dlopen(caminho, RTLD_LAZY | RTLD_LOCAL) : NULL;
    if (lib != NULL) {
        Inicializar inicializar;
        Finalizar finalizar;
        Texto nome;
        Texto versao;
        simbolo(lib, "NFE_Inicializar", &inicializar, sizeof inicializar);
        simbolo(lib, "NFE_Finalizar", &finalizar, sizeof finalizar);
        simbolo(lib, "NFE_Nome", &nome, sizeof nome);
        simbolo(lib, "NFE_Versao", &versao, sizeof versao);
        void* handle = NULL;
        if (inicializar && finalizar && nome && versao && inicializar(&handle, "", "") == 0) {
            char texto_nome[8192] = {0};
            char texto_versao[8192] = {0};
            int32_t tamanho_nome = sizeof texto_nome;
            int32_t tamanho_versao = sizeof texto_versao;
            nome(handle, texto_nome, &tamanho_nome);
            versao(handle, texto_versao, &tamanho_versao);
            finalizar(handle);
            n = snprintf(saida, sizeof saida, "{\"ok\":true,\"nome\":\"%.*s\",\"versao\":\"%.*s\"}\n",
                         (int)tamanho_nome, texto_nome, (int)tamanho_versao, texto_versao);
        }
        dlclose(lib);
    }
    if (n > (int)sizeof saida - 1) n = (int)sizeof saida - 1;
    if (write(1, saida, (size_t)n) < 0) return;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    static char buffer[1 << 16];
    size_t cheio = 0;
    for (;;) {
        ssize_t lidos = read(0, buffer + cheio, sizeof buffer - cheio);
        if (lidos <= 0) break;
        cheio += (size_t)lidos;
        char* inicio = buffer;
        char* lf;
        while ((lf = memchr(inicio, '\n', (size_t)(buffer + cheio - inicio))) != NULL) {
            responder(argv[1]);
            inicio = lf + 1;
        }
        cheio = (size_t)(buffer + cheio - inicio);
        if (cheio == sizeof buffer) cheio = 0;
        memmove(buffer, inicio, cheio);
    }
    return 0;
}
