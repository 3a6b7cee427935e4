/* Runs a program VEZES times, one after the other, with standard input read from a file and
 * standard output either drained through a pipe (as a host reads the bridge) or sent to
 * /dev/null, and prints on one line: the wall seconds of all runs together (spawn to reaped),
 * the peak resident set of the runs in KiB (ru_maxrss of the child), and the number of output
 * lines of the last run. Exits non-zero if a run fails or exits non-zero.
 *
 *   medir VEZES pipe|null ENTRADA PROGRAMA [ARGUMENTOS...]
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double agora(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* One run; its output lines in *linhas, its peak resident set in *rss_kib. */
static int rodar(char** argv, const char* entrada, int por_pipe, long* linhas, long* rss_kib) {
    int tubo[2] = {-1, -1};
    if (por_pipe && pipe2(tubo, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 0, entrada, O_RDONLY, 0);
    if (por_pipe) {
        posix_spawn_file_actions_adddup2(&acoes, tubo[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&acoes, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t filho;
    int erro = posix_spawn(&filho, argv[0], &acoes, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&acoes);
    if (por_pipe) close(tubo[1]);
    if (erro != 0) {
        if (por_pipe) close(tubo[0]);
        errno = erro;
        return -1;
    }
    *linhas = 0;
    if (por_pipe) {
        static char buffer[1 << 16];
        for (;;) {
            ssize_t n = read(tubo[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            for (char* p = buffer; (p = memchr(p, '\n', (size_t)(buffer + n - p))) != NULL; ++p) ++*linhas;
        }
        close(tubo[0]);
    }
    int estado = 0;
    struct rusage uso;
    while (wait4(filho, &estado, 0, &uso) < 0) {
        if (errno != EINTR) return -1;
    }
    *rss_kib = uso.ru_maxrss;
    return WIFEXITED(estado) && WEXITSTATUS(estado) == 0 ? 0 : -2;
}

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "uso: %s VEZES pipe|null ENTRADA PROGRAMA [ARGUMENTOS...]\n", argv[0]);
        return 2;
    }
    long vezes = strtol(argv[1], NULL, 10);
    int por_pipe = strcmp(argv[2], "pipe") == 0;
    long linhas = 0;
    long pico = 0;
    double total = 0;
    for (long i = 0; i < vezes; ++i) {
        long rss = 0;
        double inicio = agora();
        int resultado = rodar(argv + 4, argv[3], por_pipe, &linhas, &rss);
        total += agora() - inicio;
        if (resultado != 0) {
            fprintf(stderr, "%s: %s\n", argv[4], resultado == -1 ? strerror(errno) : "exited with a failure");
            return 1;
        }
        if (rss > pico) pico = rss;
    }
    printf("%.9f %ld %ld\n", total, pico, linhas);
    return 0;
}
