#!/usr/bin/env python3
"""What each host client costs on top of the pipe, measured by each client's own benchmark.

For every client whose toolchain is on this machine (Python, Node.js, .NET, PHP, Java), runs the
benchmark that client keeps under clientes/<language>/bench/ and prints one table:

- per call: version queries through the client (recycling off) against the same exchange over raw
  pipes written plainly in that language, in blocks taken in turn, the median of the rounds;
- first answer: a newly made client's first answer against a bare start of the bridge and one
  exchange (closing counted on neither side), pairs after one warm-up pair, the order swapped
  every pair; the median.

Both sides use the same bridge and stand-in library. A client whose toolchain is missing is listed
as skipped, with the reason; a client whose benchmark fails makes the script fail, after the others
have run. The goals (per call at most 1.2 times the raw pipes, first answer at most 1.5 times the
bare start) are printed beside the figures, not asserted.

    bench/clientes.py [--ponte EXECUTAVEL] [--acbr-dir DIR] [--chamadas N] [--rodadas N]
                      [--pares N] [--clientes python,node,...] [--markdown] [--detalhes]

--ponte defaults to the release build's bridge (build/release/acbr-ponte), --acbr-dir to the `acbr`
directory beside the bridge; --detalhes also prints each benchmark's own output (to standard
error, with the progress).
"""
import argparse
import datetime
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Callable, Dict, List, NamedTuple, Optional

RAIZ = Path(__file__).resolve().parent.parent
CLIENTES = RAIZ / "clientes"
ALVO_POR_CHAMADA = 1.2
ALVO_PRIMEIRA = 1.5
DETALHES = False  # --detalhes: each run's output copied to standard error


class Opcoes(NamedTuple):
    ponte: Path
    acbr_dir: Path
    chamadas: int
    rodadas: int
    pares: int
    temporario: Path


class Medida(NamedTuple):
    """Medians: microseconds per call on each side, milliseconds to the first answer on each side."""
    bruta_us: float
    cliente_us: float
    primeira_bruta_ms: float
    primeira_cliente_ms: float


class Cliente(NamedTuple):
    chave: str
    nome: str
    falta: Callable[[], Optional[str]]  # why it cannot run here, or None
    medir: Callable[[Opcoes], Medida]


class FalhaDoBench(Exception):
    def __init__(self, mensagem: str, saida: str = ""):
        super().__init__(mensagem)
        self.saida = saida


def executar(comando: List[str], cwd: Path = RAIZ, ambiente: Optional[Dict[str, str]] = None) -> str:
    """Runs a benchmark; its standard output (and error, kept for a failure's report)."""
    resultado = subprocess.run([str(parte) for parte in comando], cwd=cwd, capture_output=True, text=True,
                               env={**os.environ, **(ambiente or {})})
    saida = resultado.stdout + resultado.stderr
    if DETALHES:
        sys.stderr.write(resultado.stdout)
    if resultado.returncode != 0:
        raise FalhaDoBench(f"{' '.join(map(str, comando[:3]))}... exited with status {resultado.returncode}", saida)
    return resultado.stdout


# `<nome> <mediana> us <razao>x [<cada rodada>]`, the lines of the Python, Node.js, .NET and Java programs.
LINHA = re.compile(r"^(\w+)\s+([0-9.]+) us\s+[0-9.]+x", re.MULTILINE)


def das_linhas(saida: str) -> Medida:
    medianas = {nome: float(valor) for nome, valor in LINHA.findall(saida)}
    try:
        return Medida(medianas["bruta"], medianas["cliente"], medianas["primeira_bruta"] / 1e3,
                      medianas["primeira_cliente"] / 1e3)
    except KeyError as erro:
        raise FalhaDoBench(f"no line {erro} in the benchmark's output", saida) from None


def sem(*programas: str) -> Callable[[], Optional[str]]:
    def falta() -> Optional[str]:
        ausentes = [p for p in programas if shutil.which(p) is None]
        return f"no {' or '.join(f'`{p}`' for p in ausentes)} on PATH" if ausentes else None
    return falta


def argumentos_comuns(o: Opcoes) -> List[str]:
    return ["--ponte", str(o.ponte), "--acbr-dir", str(o.acbr_dir), "--chamadas", str(o.chamadas),
            "--rodadas", str(o.rodadas), "--pares", str(o.pares)]


def medir_python(o: Opcoes) -> Medida:
    return das_linhas(executar([sys.executable, CLIENTES / "python/bench/custo.py", *argumentos_comuns(o)],
                               ambiente={"PYTHONDONTWRITEBYTECODE": "1"}))


def medir_node(o: Opcoes) -> Medida:
    return das_linhas(executar(["node", CLIENTES / "node/bench/custo.js", *argumentos_comuns(o)]))


def medir_dotnet(o: Opcoes) -> Medida:
    projeto = CLIENTES / "dotnet/bench/AcbrPonte.Bench"
    silencio = {"DOTNET_CLI_TELEMETRY_OPTOUT": "1", "DOTNET_NOLOGO": "1", "DOTNET_SKIP_FIRST_TIME_EXPERIENCE": "1"}
    # Built first, so that the build's lines stay out of the output that is read.
    executar(["dotnet", "build", "-c", "Release", "-m:1", "--nologo", "-v", "quiet", projeto], ambiente=silencio)
    return das_linhas(executar(["dotnet", "run", "--no-build", "-c", "Release", "--project", projeto, "--",
                                o.ponte, o.acbr_dir, o.chamadas, o.rodadas, o.pares], ambiente=silencio))


def falta_php() -> Optional[str]:
    if shutil.which("php") is None:
        return "no `php` on PATH"
    versao = subprocess.run(["php", "-r", "echo PHP_VERSION_ID;"], capture_output=True, text=True).stdout
    if not versao.isdigit() or int(versao) < 80100:
        return f"PHP older than 8.1 ({versao or 'unknown'})"
    return None


def medir_php(o: Opcoes) -> Medida:
    arquivo = o.temporario / "php.json"
    executar(["php", CLIENTES / "php/bench/custo.php", "--ponte", o.ponte, "--acbr-dir", o.acbr_dir,
              "--chamadas", o.chamadas, "--rodadas", o.rodadas, "--pares", o.pares, "--json", arquivo])
    figuras = json.loads(arquivo.read_text())
    por_chamada, primeira = figuras["por_chamada_us"], figuras["primeira_resposta_ms"]
    return Medida(por_chamada["cru"], por_chamada["cliente"], primeira["cru"], primeira["cliente"])


def medir_java(o: Opcoes) -> Medida:
    classes = o.temporario / "java"
    fontes = sorted(str(f) for f in (CLIENTES / "java/src/main/java").rglob("*.java"))
    executar(["javac", "--release", "11", "-encoding", "UTF-8", "-nowarn", "-d", classes, *fontes])
    return das_linhas(executar(["java", "-cp", classes, CLIENTES / "java/bench/Bench.java", o.ponte, o.acbr_dir,
                                o.chamadas, o.rodadas, o.pares]))


TODOS = [
    Cliente("python", "Python", lambda: None, medir_python),
    Cliente("node", "Node.js", sem("node"), medir_node),
    Cliente("dotnet", ".NET", sem("dotnet"), medir_dotnet),
    Cliente("php", "PHP", falta_php, medir_php),
    Cliente("java", "Java", sem("java", "javac"), medir_java),
]


def maquina() -> str:
    modelo = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as arquivo:
            modelo = next(l.split(":", 1)[1].strip() for l in arquivo if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return f"{modelo}, {os.cpu_count()} cores, {platform.system()} {platform.release()}"


def carga_media() -> str:
    try:
        with open("/proc/loadavg") as arquivo:
            return " ".join(arquivo.read().split()[:3])
    except OSError:
        return "unknown"


def tabela(linhas: List[List[str]], markdown: bool) -> str:
    cabecalho = ["client", "per call: raw pipes → client", "ratio", "first answer: bare spawn → new client", "ratio",
                 "goals"]
    if markdown:
        return "\n".join("| " + " | ".join(l) + " |" for l in [cabecalho, ["---"] * len(cabecalho), *linhas])
    larguras = [max(len(l[i]) for l in [cabecalho, *linhas]) for i in range(len(cabecalho))]
    return "\n".join("  ".join(c.ljust(larguras[i]) for i, c in enumerate(l)).rstrip() for l in [cabecalho, *linhas])


def main() -> int:
    argumentos = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    argumentos.add_argument("--ponte", metavar="EXECUTAVEL", type=Path, default=RAIZ / "build/release/acbr-ponte")
    argumentos.add_argument("--acbr-dir", metavar="DIR", type=Path,
                            help="the stand-in's directory (default: `acbr` beside the bridge)")
    argumentos.add_argument("--chamadas", type=int, default=3000, help="calls per round (default 3000)")
    argumentos.add_argument("--rodadas", type=int, default=5, help="rounds of calls (default 5)")
    argumentos.add_argument("--pares", type=int, default=11, help="first-answer pairs after the warm-up one (default 11)")
    argumentos.add_argument("--clientes", help=f"only these, e.g. python,node (of {','.join(c.chave for c in TODOS)})")
    argumentos.add_argument("--markdown", action="store_true", help="print the table in Markdown")
    argumentos.add_argument("--detalhes", action="store_true", help="also print each benchmark's own output")
    opcoes = argumentos.parse_args()
    global DETALHES
    DETALHES = opcoes.detalhes
    if min(opcoes.chamadas, opcoes.rodadas, opcoes.pares) < 1:
        argumentos.error("--chamadas, --rodadas and --pares must be at least 1")
    ponte = opcoes.ponte.resolve()
    acbr_dir = (opcoes.acbr_dir or ponte.parent / "acbr").resolve()
    if not os.access(ponte, os.X_OK):
        argumentos.error(f"{ponte}: no bridge there (build it, or name one with --ponte)")
    if not acbr_dir.is_dir():
        argumentos.error(f"{acbr_dir}: no stand-in directory (name one with --acbr-dir)")
    escolhidos = TODOS
    if opcoes.clientes:
        chaves = opcoes.clientes.split(",")
        desconhecidos = set(chaves) - {c.chave for c in TODOS}
        if desconhecidos:
            argumentos.error(f"unknown clients: {', '.join(sorted(desconhecidos))}")
        escolhidos = [c for c in TODOS if c.chave in chaves]

    carga_antes = carga_media()
    inicio = time.monotonic()
    linhas, puladas, falhas = [], [], []
    with tempfile.TemporaryDirectory(prefix="acbr-ponte-clientes-") as temporario:
        o = Opcoes(ponte, acbr_dir, opcoes.chamadas, opcoes.rodadas, opcoes.pares, Path(temporario))
        for cliente in escolhidos:
            razao = cliente.falta()
            if razao is not None:
                puladas.append(f"{cliente.nome}: skipped, {razao}")
                linhas.append([cliente.nome, "skipped", "", razao, "", ""])
                continue
            print(f"{cliente.nome}...", file=sys.stderr, flush=True)
            comeco = time.monotonic()
            try:
                m = cliente.medir(o)
            except (FalhaDoBench, OSError, ValueError, KeyError) as erro:
                falhas.append(cliente.nome)
                saida = getattr(erro, "saida", "")
                print(f"{cliente.nome}: the benchmark failed: {erro}\n{saida}", file=sys.stderr)
                linhas.append([cliente.nome, "failed", "", "", "", ""])
                continue
            print(f"{cliente.nome}: {time.monotonic() - comeco:.0f} s", file=sys.stderr, flush=True)
            por_chamada = m.cliente_us / m.bruta_us
            primeira = m.primeira_cliente_ms / m.primeira_bruta_ms
            metas = ("yes" if por_chamada <= ALVO_POR_CHAMADA and primeira <= ALVO_PRIMEIRA else
                     "no: " + ", ".join(n for n, r, a in (("per call", por_chamada, ALVO_POR_CHAMADA),
                                                          ("first answer", primeira, ALVO_PRIMEIRA)) if r > a))
            linhas.append([cliente.nome, f"{m.bruta_us:.1f} µs → {m.cliente_us:.1f} µs", f"{por_chamada:.2f}",
                           f"{m.primeira_bruta_ms:.2f} ms → {m.primeira_cliente_ms:.2f} ms", f"{primeira:.2f}",
                           metas])
    print(f"{maquina()}; {datetime.date.today().isoformat()}")
    print(f"bridge {ponte}, ACBR_DIR {acbr_dir}")
    print(f"per call: {opcoes.chamadas} version queries, median of {opcoes.rodadas} rounds, recycling off; "
          f"first answer: median of {opcoes.pares} pairs after one warm-up pair; "
          f"goals: per call ≤ {ALVO_POR_CHAMADA}×, first answer ≤ {ALVO_PRIMEIRA}×")
    print(f"load average before {carga_antes}, after {carga_media()}; {time.monotonic() - inicio:.0f} s")
    print()
    print(tabela(linhas, opcoes.markdown), flush=True)
    if falhas:
        print(f"\nfailed: {', '.join(falhas)}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
