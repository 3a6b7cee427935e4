/* A stand-in for ACBrLib NFe: the four entry points the bridge calls, with the library's
 * signatures, answering a name and a version taken from the environment or from the library's
 * configuration file, which NFE_Inicializar reads, or writes when it is missing, as the library
 * does (configuracao.c). Hosts use it in their own tests and demos; each build variant (one
 * ACBR_FALSA_* definition) misbehaves in one way the bridge must survive, and so does every
 * build when ACBR_FALSA_DEFEITO names a misbehaviour (see cometer_defeito). */

#if !defined(_WIN32)
#define _GNU_SOURCE /* sigaction, dlopen in strict C11 */
#endif

#include <fenv.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "configuracao.h"
#include "sistema.h"

#if defined(_WIN32)
#include <windows.h>
#if defined(ACBR_FALSA_STDCALL)
/* The library's StdCall build for 32-bit Windows: each entry point pops its own arguments, and
 * the names are exported undecorated like the Cdecl build's (the link uses --kill-at). */
#define EXPORTADA __declspec(dllexport) __stdcall
#else
#define EXPORTADA __declspec(dllexport)
#endif
#else
#include <dlfcn.h>
#include <unistd.h>
#define EXPORTADA __attribute__((visibility("default")))
#endif

/* Texts each variant answers when ACBR_FALSA_NOME / ACBR_FALSA_VERSAO are unset. */
#if defined(ACBR_FALSA_PAGINA_DE_CODIGO)
/* Latin-1 bytes, as a library that writes in a single-byte code page would. */
#define NOME_PADRAO "Biblioteca de Emiss\xE3o"
#define VERSAO_PADRAO "Vers\xE3o 1.0"
#elif defined(ACBR_FALSA_COM_ESPACOS)
/* Blanks, tabs, CR LF, NBSP, EM SPACE and IDEOGRAPHIC SPACE around; interior ones stay. */
#define NOME_PADRAO          \
    " \t\r\n\xC2\xA0"        \
    "ACBrLibNFe  \t (falsa)" \
    "\xC2\xA0\r\n\t "
#define VERSAO_PADRAO "\xE2\x80\x83 0.0.0\t-falsa \xE3\x80\x80\n"
#elif defined(ACBR_FALSA_CARACTERES_ESPECIAIS)
#define NOME_PADRAO "ACBr \"falsa\" em C:\\ACBr\\"
#define VERSAO_PADRAO "0.0.0\x1b[1m\x01\x1f\x7f-falsa"
#else
#define NOME_PADRAO "ACBrLibNFe (falsa)"
#define VERSAO_PADRAO "0.0.0-falsa"
#endif

/* Tells a handle this library made from any other pointer. */
#define MAGIA 0x4143427246414C53u

typedef struct {
    uint64_t magia;
    Configuracao configuracao; /* what the configuration file said, read by NFE_Inicializar */
} Handle;

/* One line appended to the file named by ACBR_FALSA_REGISTRO: a word, and after a blank what
 * it concerns when there is something (the configuration file's path). The file is opened and
 * closed for every record so that the record survives whatever the host does next; the record
 * never goes to the standard streams. */
static void registrar_com(const char* palavra, const char* complemento) {
    char* arquivo = variavel_utf8("ACBR_FALSA_REGISTRO");
    FILE* registro = arquivo == NULL || arquivo[0] == '\0' ? NULL : abrir_arquivo(arquivo, "a");
    free(arquivo);
    if (registro == NULL) {
        return;
    }
    fputs(palavra, registro);
    if (complemento != NULL && complemento[0] != '\0') {
        fputc(' ', registro);
        fputs(complemento, registro);
    }
    fputc('\n', registro);
    fclose(registro);
}

static void registrar(const char* palavra) { registrar_com(palavra, NULL); }

static const char mensagem[] = "mensagem da biblioteca";
static const char linha[] = "mensagem da biblioteca\n";

/* Left behind when the library is unloaded: its address then points at nothing. */
static void tratar_sinal(int sinal) { (void)sinal; }

static void instalar_sinais(void) {
    static const int sinais[] = {
        SIGINT,
        SIGTERM,
        SIGSEGV,
        SIGFPE,
        SIGILL,
#if !defined(_WIN32)
        SIGHUP,
        SIGQUIT,
        SIGCHLD,
        SIGBUS
#endif
    };
    for (size_t i = 0; i < sizeof sinais / sizeof sinais[0]; ++i) {
#if defined(_WIN32)
        signal(sinais[i], tratar_sinal);
#else
        struct sigaction acao;
        memset(&acao, 0, sizeof acao);
        acao.sa_handler = tratar_sinal;
        sigaction(sinais[i], &acao, NULL);
#endif
    }
}

/* Rounds toward zero and traps invalid, divide-by-zero and overflow. On Linux through a libm
 * opened just for this: naming libm among the library's dependencies would make every load of
 * the stand-in map libm, which the real library (whose runtime sets the FPU by itself) does not,
 * and every version query would pay for it. libdl is not named either: against glibc before
 * 2.34 (the bullseye presets) dlopen comes from the libdl the bridge has loaded. */
static void mudar_fpu(void) {
#if defined(_WIN32)
    fesetround(FE_TOWARDZERO);
#else
    void* libm = dlopen("libm.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (libm == NULL) return;
    int (*arredondar)(int) = NULL;
    int (*habilitar)(int) = NULL;
    /* POSIX's way to take a function from dlsym without converting an object pointer. */
    *(void**)&arredondar = dlsym(libm, "fesetround");
    *(void**)&habilitar = dlsym(libm, "feenableexcept");
    if (arredondar != NULL) arredondar(FE_TOWARDZERO);
    if (habilitar != NULL) habilitar(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    dlclose(libm);
#endif
}

/* The misbehaviour ACBR_FALSA_DEFEITO names, committed at the entry point it belongs to:
 *   dorme              sleeps for ten minutes (NFE_Inicializar)
 *   escreve_linha      puts and fflush to standard output (NFE_Nome, as are all below)
 *   escreve_sem_fim    printf with no line end and no flush: left in stdio's buffer
 *   escreve_descritor  write(1, ...); on Windows WriteFile on GetStdHandle(STD_OUTPUT_HANDLE)
 *   escreve_erro       a line to standard error
 *   le_entrada         one read of standard input (ReadFile on Windows)
 *   acesso_nulo        writes through a null pointer
 *   muda_diretorio     changes the working directory to the root
 *   sigpipe_padrao     sets SIGPIPE back to its default action (POSIX)
 *   instala_sinais     installs handlers of its own, left behind when it is unloaded
 *   muda_fpu           rounds toward zero and traps invalid, divide-by-zero and overflow */
static void cometer_defeito(int no_inicializar) {
    char* defeito = variavel_utf8("ACBR_FALSA_DEFEITO");
    if (defeito == NULL) {
        return;
    }
    if (no_inicializar) {
        if (strcmp(defeito, "dorme") == 0) {
#if defined(_WIN32)
            Sleep(10 * 60 * 1000);
#else
            sleep(10 * 60);
#endif
        }
    } else if (strcmp(defeito, "escreve_linha") == 0) {
        puts(mensagem);
        fflush(stdout);
    } else if (strcmp(defeito, "escreve_sem_fim") == 0) {
        printf("sem fim de linha");
    } else if (strcmp(defeito, "escreve_descritor") == 0) {
#if defined(_WIN32)
        DWORD escritos;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), linha, sizeof linha - 1, &escritos, NULL);
#else
        if (write(1, linha, sizeof linha - 1) < 0) {
            /* nobody to tell */
        }
#endif
    } else if (strcmp(defeito, "escreve_erro") == 0) {
        fprintf(stderr, "%s\n", mensagem);
    } else if (strcmp(defeito, "le_entrada") == 0) {
        char lido[256];
#if defined(_WIN32)
        DWORD lidos;
        ReadFile(GetStdHandle(STD_INPUT_HANDLE), lido, sizeof lido, &lidos, NULL);
#else
        if (read(0, lido, sizeof lido) < 0) {
            /* nothing read */
        }
#endif
    } else if (strcmp(defeito, "acesso_nulo") == 0) {
        volatile int* volatile nulo = NULL;
        *nulo = 1;
    } else if (strcmp(defeito, "muda_diretorio") == 0) {
#if defined(_WIN32)
        SetCurrentDirectoryW(L"C:\\");
#else
        if (chdir("/") != 0) {
            /* stays where it was */
        }
#endif
    } else if (strcmp(defeito, "sigpipe_padrao") == 0) {
#if !defined(_WIN32)
        signal(SIGPIPE, SIG_DFL);
#endif
    } else if (strcmp(defeito, "instala_sinais") == 0) {
        instalar_sinais();
    } else if (strcmp(defeito, "muda_fpu") == 0) {
        mudar_fpu();
    }
    free(defeito);
}

__attribute__((constructor)) static void ao_carregar(void) { registrar("carregar"); }

__attribute__((destructor)) static void ao_descarregar(void) { registrar("descarregar"); }

static int handle_valido(const void* handle) { return handle != NULL && ((const Handle*)handle)->magia == MAGIA; }

typedef enum { TEXTO_NOME, TEXTO_VERSAO } Texto;

/* Writes at most *tamanho bytes of the text and leaves in *tamanho what the variant reports. The
 * text: the environment variable's when it is set (even empty), else the configuration file's,
 * else the variant's own. Unused in the variant that exports neither text entry point. */
__attribute__((unused)) static int32_t escrever_texto(void* handle, char* destino, int32_t* tamanho, Texto qual) {
    if (!handle_valido(handle) || destino == NULL || tamanho == NULL) {
        return -1;
    }
    const Configuracao* configuracao = &((const Handle*)handle)->configuracao;
    char* do_ambiente = variavel_utf8(qual == TEXTO_NOME ? "ACBR_FALSA_NOME" : "ACBR_FALSA_VERSAO");
    const char* do_arquivo = qual == TEXTO_NOME ? configuracao->nome : configuracao->versao;
    const char* texto = do_ambiente != NULL  ? do_ambiente
                        : do_arquivo != NULL ? do_arquivo
                        : qual == TEXTO_NOME ? NOME_PADRAO
                                             : VERSAO_PADRAO;
    const int32_t capacidade = *tamanho > 0 ? *tamanho : 0;
    size_t comprimento = strlen(texto);
    if (comprimento > (size_t)capacidade) {
        comprimento = (size_t)capacidade;
    }
    memcpy(destino, texto, comprimento);
    free(do_ambiente);
#if defined(ACBR_FALSA_TAMANHO_NEGATIVO)
    *tamanho = -1;
#elif defined(ACBR_FALSA_TAMANHO_ACIMA)
    *tamanho = 9000;
#elif defined(ACBR_FALSA_TAMANHO_CHEIO)
    (void)comprimento; /* the size stays as given */
#elif defined(ACBR_FALSA_TAMANHO_COM_NUL)
    if (comprimento < (size_t)capacidade) {
        destino[comprimento] = '\0';
        ++comprimento;
    }
    *tamanho = (int32_t)comprimento;
#elif defined(ACBR_FALSA_ESCREVE_ALEM)
    /* One byte past the size given, as the real library appears to do for a terminating NUL. */
    destino[capacidade] = '\0';
    *tamanho = (int32_t)comprimento;
#else
    *tamanho = (int32_t)comprimento;
#endif
    return 0;
}

#if !defined(ACBR_FALSA_SEM_INICIALIZAR) && !defined(ACBR_FALSA_INICIALIZAR_ENDERECO_NULO)
EXPORTADA int32_t NFE_Inicializar(void** handle, const char* eArqConfig, const char* eChaveCrypt) {
    registrar("inicializar");
    if (handle == NULL || eArqConfig == NULL || eChaveCrypt == NULL) {
        return -2;
    }
    cometer_defeito(1);
#if defined(ACBR_FALSA_INICIALIZAR_FALHA)
    return -1;
#else
    /* As the library does: a configuration file that cannot be read, or a missing one that
     * cannot be written, fails the initialisation. */
    char* caminho = caminho_da_configuracao(eArqConfig);
    registrar_com("configuracao", caminho);
    Configuracao configuracao;
    const int lida = caminho != NULL && carregar_configuracao(caminho, &configuracao) == 0;
    free(caminho);
    if (!lida) {
        return -1;
    }
    Handle* novo = malloc(sizeof *novo);
    if (novo == NULL) {
        liberar_configuracao(&configuracao);
        return -3;
    }
    novo->magia = MAGIA;
    novo->configuracao = configuracao;
    *handle = novo;
    return 0;
#endif
}
#endif

#if !defined(ACBR_FALSA_SEM_FINALIZAR)
EXPORTADA int32_t NFE_Finalizar(void* handle) {
    registrar("finalizar");
    if (!handle_valido(handle)) {
        return -1;
    }
    Handle* velho = handle;
    velho->magia = 0;
    liberar_configuracao(&velho->configuracao);
    free(velho);
    return 0;
}
#endif

#if !defined(ACBR_FALSA_SEM_NOME) && !defined(ACBR_FALSA_SEM_NOME_NEM_VERSAO) && !defined(ACBR_FALSA_NOME_ENDERECO_NULO)
EXPORTADA int32_t NFE_Nome(void* handle, char* sNome, int32_t* esTamanho) {
    registrar("nome");
    cometer_defeito(0);
    const int32_t resultado = escrever_texto(handle, sNome, esTamanho, TEXTO_NOME);
#if defined(ACBR_FALSA_NOME_FALHA)
    /* The text is in the buffer, but the call reports a failure: the text must not be used. */
    return resultado == 0 ? 1 : resultado;
#else
    return resultado;
#endif
}
#endif

#if !defined(ACBR_FALSA_SEM_NOME_NEM_VERSAO)
EXPORTADA int32_t NFE_Versao(void* handle, char* sVersao, int32_t* esTamanho) {
    registrar("versao");
    return escrever_texto(handle, sVersao, esTamanho, TEXTO_VERSAO);
}
#endif

/* An exported entry point whose address is 0: an absolute symbol, which the loader does not
 * relocate, so dlsym answers null without reporting an error. Calling it would crash. */
#if defined(ACBR_FALSA_NOME_ENDERECO_NULO)
__asm__(".globl NFE_Nome\n.type NFE_Nome, @function\n.set NFE_Nome, 0\n");
#elif defined(ACBR_FALSA_INICIALIZAR_ENDERECO_NULO)
__asm__(".globl NFE_Inicializar\n.type NFE_Inicializar, @function\n.set NFE_Inicializar, 0\n");
#endif
