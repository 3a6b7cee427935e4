/* The floor of a line-by-line process: stdin read through a 64 KiB buffer, each line found
 * with memchr, one fixed response handed to write(2) per line. */
#include <string.h>
#include <unistd.h>

static const char resposta[] =
    "{\"ok\":false,\"erro\":\"comando inv\xC3\xA1lido: unknown variant `ajuda`, expected `versao` at line 1 "
    "column 14\"}\n";

int main(void) {
    static char buffer[1 << 16];
    size_t cheio = 0;
    for (;;) {
        ssize_t lidos = read(0, buffer + cheio, sizeof buffer - cheio);
        if (lidos <= 0) break;
        cheio += (size_t)lidos;
        char* inicio = buffer;
        char* lf;
        while ((lf = memchr(inicio, '\n', (size_t)(buffer + cheio - inicio))) != NULL) {
            if (write(1, resposta, sizeof resposta - 1) < 0) return 0;
            inicio = lf + 1;
        }
        cheio = (size_t)(buffer + cheio - inicio);
        /* A line longer than the buffer is dropped piecewise: these inputs hold none. */
        if (cheio == sizeof buffer) cheio = 0;
        memmove(buffer, inicio, cheio);
    }
    if (cheio > 0 && write(1, resposta, sizeof resposta - 1) < 0) return 0;
    return 0;
}
