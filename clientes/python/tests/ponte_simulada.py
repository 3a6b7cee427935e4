"""A bridge that misbehaves in ways the real one never does, for the cases only such a bridge
reaches. The mode is the first argument:

    lixo      answers every command with a line that is not JSON
    surda     answers {"ok":true} and, once its input ends, does not exit
    tagarela  writes 1 MiB to standard error, then ends with status 3 without answering
    surda_de_entrada  closes its input unread, waits half a second, ends with status 4
    neta      starts a process that keeps its output pipes open for a minute, writes its id to
              standard error, then ends with status 5 without answering
"""

from __future__ import annotations

import os
import subprocess
import sys
import time


def main() -> None:
    modo = sys.argv[1]
    if modo == "tagarela":
        # An odd number of bytes before the end, in 2-byte characters: the tail's cut falls
        # inside one.
        os.write(2, "ã".encode() * (512 * 1024 + 1) + b"\nfim do rabo\n")
    elif modo == "surda_de_entrada":
        os.close(0)
        time.sleep(0.5)
        sys.exit(4)
    for linha in sys.stdin.buffer:
        if modo == "lixo":
            os.write(1, b"isto n\xc3\xa3o \xc3\xa9 JSON\n")
        elif modo == "surda":
            os.write(1, b'{"ok":true}\n')
        elif modo == "tagarela":
            sys.exit(3)
        elif modo == "neta":
            neta = subprocess.Popen(["sleep", "60"], start_new_session=True)
            os.write(2, f"{neta.pid}\n".encode())
            os._exit(5)
    if modo == "surda":
        time.sleep(60)


if __name__ == "__main__":
    main()
