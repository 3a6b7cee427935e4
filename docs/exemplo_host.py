#!/usr/bin/env python3
"""How a host application drives acbr-ponte.

Start the bridge once, keep its pipes open, and for every command write one line and read one
line back. Blank lines are skipped by the bridge and get no answer, so never wait after one.

    python3 docs/exemplo_host.py [path/to/acbr-ponte]
"""
import json
import subprocess
import sys


class Ponte:
    def __init__(self, executavel):
        # Binary pipes: the bridge speaks UTF-8 and every answer ends with b"\n".
        self.processo = subprocess.Popen(
            [executavel], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def enviar(self, linha):
        """Writes one line; returns the answer line, or None for a blank line."""
        self.processo.stdin.write(linha.encode("utf-8") + b"\n")
        self.processo.stdin.flush()
        if not linha.strip():
            return None
        resposta = self.processo.stdout.readline()  # reads up to the line feed
        if not resposta:
            raise RuntimeError("a ponte encerrou sem responder")
        return resposta.decode("utf-8").rstrip("\n")

    def encerrar(self):
        self.processo.stdin.close()  # end of input: the bridge exits with status 0
        return self.processo.wait(timeout=10)


def main():
    ponte = Ponte(sys.argv[1] if len(sys.argv) > 1 else "./acbr-ponte")
    for linha in ['{"cmd":"versao"}', "", '{"cmd":"ajuda"}']:
        print("->", linha if linha else "(linha em branco)")
        resposta = ponte.enviar(linha)
        if resposta is None:
            print("<- (nenhuma resposta: linhas em branco são ignoradas)")
        else:
            print("<-", resposta)
            json.loads(resposta)  # every answer is one JSON object
    status = ponte.encerrar()
    print("status de saída:", status)
    return status


if __name__ == "__main__":
    sys.exit(main())
