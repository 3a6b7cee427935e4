/* What the stand-in asks of the system, the same on POSIX and Windows: texts are UTF-8 here and
 * UTF-16 in Windows' own interfaces. Every returned text is newly allocated, to be freed. */
#ifndef ACBR_FALSA_SISTEMA_H
#define ACBR_FALSA_SISTEMA_H

#include <stdio.h>

/* The environment variable's value; NULL when it is unset. */
char* variavel_utf8(const char* nome);

/* fopen of a file named in UTF-8 (on Windows through its UTF-16 form, so any name opens). */
FILE* abrir_arquivo(const char* caminho, const char* modo);

/* Whether the path names anything (a file, a folder, ...) that the system can see. */
int existe(const char* caminho);

/* The running executable's folder with its separator at the end, as the system reports it: on
 * Linux where the file really is, after symbolic links; NULL when the system does not say. */
char* pasta_do_executavel(void);

#endif
