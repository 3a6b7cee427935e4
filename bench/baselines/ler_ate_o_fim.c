/* The floor of start-up and exit: a process that reads its input to the end and leaves. */
#include <unistd.h>

int main(void) {
    static char buffer[1 << 16];
    while (read(0, buffer, sizeof buffer) > 0) continue;
    return 0;
}
