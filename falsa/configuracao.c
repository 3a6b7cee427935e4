#include "configuracao.h"

#include "sistema.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#define NOME_DO_ARQUIVO "ACBrLib.ini"
#else
#define NOME_DO_ARQUIVO "acbrlib.ini"
#endif

/* Written when the file is missing; the text mode gives the platform's line ends. The Pascal
 * stand-in (falsa/pascal/falsa_configuracao.pas) writes the same lines. */
static const char conteudo_padrao[] =
    "[Principal]\n"
    "LogNivel=0\n"
    "LogPath=\n"
    "\n"
    "[Falsa]\n"
    "; Nome=ACBrLibNFe (falsa)\n"
    "; Versao=0.0.0-falsa\n";

char* caminho_da_configuracao(const char* eArqConfig) {
    if (eArqConfig[0] != '\0') {
        char* copia = malloc(strlen(eArqConfig) + 1);
        if (copia != NULL) {
            strcpy(copia, eArqConfig);
        }
        return copia;
    }
    char* pasta = pasta_do_executavel();
    if (pasta == NULL) {
        return NULL;
    }
    const size_t comprimento = strlen(pasta);
    char* caminho = realloc(pasta, comprimento + sizeof NOME_DO_ARQUIVO);
    if (caminho == NULL) {
        free(pasta);
        return NULL;
    }
    memcpy(caminho + comprimento, NOME_DO_ARQUIVO, sizeof NOME_DO_ARQUIVO);
    return caminho;
}

/* The whole file, NUL-terminated, its length in *tamanho; NULL when it cannot be read. */
static char* ler_inteiro(const char* caminho, size_t* tamanho) {
    FILE* arquivo = abrir_arquivo(caminho, "rb");
    if (arquivo == NULL) {
        return NULL;
    }
    size_t capacidade = 4096;
    size_t lidos = 0;
    char* texto = malloc(capacidade);
    while (texto != NULL) {
        lidos += fread(texto + lidos, 1, capacidade - lidos - 1, arquivo);
        if (ferror(arquivo) || feof(arquivo)) {
            break;
        }
        char* maior = realloc(texto, capacidade * 2);
        if (maior == NULL) {
            free(texto);
            texto = NULL;
        } else {
            texto = maior;
            capacidade *= 2;
        }
    }
    if (texto != NULL && ferror(arquivo)) {
        free(texto);
        texto = NULL;
    }
    fclose(arquivo);
    if (texto != NULL) {
        texto[lidos] = '\0';
        *tamanho = lidos;
    }
    return texto;
}

static int branco(char c) { return c == ' ' || c == '\t'; }

static void aparar(const char** inicio, const char** fim) {
    while (*inicio < *fim && branco(**inicio)) {
        ++*inicio;
    }
    while (*fim > *inicio && branco((*fim)[-1])) {
        --*fim;
    }
}

/* ASCII only: the host's locale must not change what a key means. */
static int igual_sem_caixa(const char* inicio, const char* fim, const char* palavra) {
    if ((size_t)(fim - inicio) != strlen(palavra)) {
        return 0;
    }
    for (; inicio < fim; ++inicio, ++palavra) {
        const char a = *inicio >= 'A' && *inicio <= 'Z' ? (char)(*inicio - 'A' + 'a') : *inicio;
        const char b = *palavra >= 'A' && *palavra <= 'Z' ? (char)(*palavra - 'A' + 'a') : *palavra;
        if (a != b) {
            return 0;
        }
    }
    return 1;
}

static char* copiar(const char* inicio, const char* fim) {
    char* copia = malloc((size_t)(fim - inicio) + 1);
    if (copia != NULL) {
        memcpy(copia, inicio, (size_t)(fim - inicio));
        copia[fim - inicio] = '\0';
    }
    return copia;
}

/* Lines end in LF, a CR before it is dropped, blanks around lines, names and values are
 * ignored, and so are a UTF-8 byte order mark, empty lines, comments (';' or '#'), lines
 * without '=' and keys the stand-in does not know. Section and key names ignore ASCII case;
 * the first occurrence of a key counts. */
static void interpretar(const char* texto, size_t tamanho, Configuracao* configuracao) {
    const char* const fim_do_texto = texto + tamanho;
    if (tamanho >= 3 && memcmp(texto, "\xEF\xBB\xBF", 3) == 0) {
        texto += 3;
    }
    int na_secao = 0;
    while (texto < fim_do_texto) {
        const char* inicio = texto;
        const char* fim = memchr(texto, '\n', (size_t)(fim_do_texto - texto));
        if (fim == NULL) {
            fim = fim_do_texto;
        }
        texto = fim < fim_do_texto ? fim + 1 : fim;
        if (fim > inicio && fim[-1] == '\r') {
            --fim;
        }
        aparar(&inicio, &fim);
        if (inicio == fim || *inicio == ';' || *inicio == '#') {
            continue;
        }
        if (*inicio == '[') {
            const char* nome = inicio + 1;
            const char* fim_do_nome = memchr(nome, ']', (size_t)(fim - nome));
            if (fim_do_nome == NULL) {
                fim_do_nome = fim;
            }
            aparar(&nome, &fim_do_nome);
            na_secao = igual_sem_caixa(nome, fim_do_nome, "Falsa");
            continue;
        }
        const char* igual = memchr(inicio, '=', (size_t)(fim - inicio));
        if (!na_secao || igual == NULL) {
            continue;
        }
        const char* fim_da_chave = igual;
        const char* valor = igual + 1;
        aparar(&inicio, &fim_da_chave);
        aparar(&valor, &fim);
        char** destino = igual_sem_caixa(inicio, fim_da_chave, "Nome")     ? &configuracao->nome
                         : igual_sem_caixa(inicio, fim_da_chave, "Versao") ? &configuracao->versao
                                                                           : NULL;
        if (destino != NULL && *destino == NULL) {
            *destino = copiar(valor, fim);
        }
    }
}

static int criar(const char* caminho) {
    FILE* arquivo = abrir_arquivo(caminho, "w");
    if (arquivo == NULL) {
        return -1;
    }
    const int escrito = fputs(conteudo_padrao, arquivo) >= 0;
    return fclose(arquivo) == 0 && escrito ? 0 : -1;
}

int carregar_configuracao(const char* caminho, Configuracao* configuracao) {
    configuracao->nome = NULL;
    configuracao->versao = NULL;
    if (!existe(caminho)) {
        return criar(caminho);
    }
    size_t tamanho = 0;
    char* texto = ler_inteiro(caminho, &tamanho);
    if (texto == NULL) {
        return -1;
    }
    interpretar(texto, tamanho, configuracao);
    free(texto);
    return 0;
}

void liberar_configuracao(Configuracao* configuracao) {
    free(configuracao->nome);
    free(configuracao->versao);
    configuracao->nome = NULL;
    configuracao->versao = NULL;
}
