"""Runs the host example of the docs against the built bridge and compares its whole output."""
import subprocess
import sys

exemplo, ponte, esperada = sys.argv[1:4]
saida = subprocess.run([sys.executable, exemplo, ponte], capture_output=True, timeout=60)
esperado = open(esperada, "rb").read()
if saida.returncode != 0 or saida.stdout != esperado or saida.stderr:
    sys.stdout.write("status %d\n--- got\n%s--- expected\n%s--- stderr\n%s" % (
        saida.returncode, saida.stdout.decode(errors="replace"), esperado.decode(),
        saida.stderr.decode(errors="replace")))
    sys.exit(1)
print("the host example's output matches")
