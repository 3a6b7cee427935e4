/* The library's configuration file, as NFE_Inicializar finds it: the path it was given, or,
 * given an empty one, the platform's file name in the running executable's folder. An existing
 * file is read; a missing one is written with a default content. The stand-in's own settings
 * are in its section [Falsa]: Nome= and Versao= give the texts it answers. */
#ifndef ACBR_FALSA_CONFIGURACAO_H
#define ACBR_FALSA_CONFIGURACAO_H

typedef struct {
    char* nome;   /* NULL when the file has no Nome= in [Falsa] */
    char* versao; /* NULL when the file has no Versao= in [Falsa] */
} Configuracao;

/* eArqConfig when it is not empty, else the file beside the executable; NULL when the
 * executable's path is unknown. */
char* caminho_da_configuracao(const char* eArqConfig);

/* Reads the file, or writes the default one when nothing is at that path. 0; -1 when the
 * existing file cannot be read or the missing one cannot be written. */
int carregar_configuracao(const char* caminho, Configuracao* configuracao);

void liberar_configuracao(Configuracao* configuracao);

#endif
