#!/usr/bin/env python3
"""Whole-process benchmarks of the bridge against the physical limit of each workload.

Builds the bridge in release mode (the release preset's settings, its flags included, plus
PONTE_BENCH) with the baselines of bench/baselines/, built with the same flags, writes the inputs, checks the bridge's answers to each, then
runs each workload on the bridge and on its baselines interleaved, A B A B ..., and prints a
Markdown report: medians, the ratio of the medians (bridge / baseline), every pair's ratio, the
target, peak resident memory, and the machine's load before and after.

    bench/comparar.py [--build DIR] [--pares N] [--cargas 1,2,...] [--ponte-de REVISAO]
                      [--ponte EXECUTAVEL] [--instrucoes] [--saida ARQUIVO]

--cargas picks workloads by number (see CARGAS below); --ponte-de measures the bridge built from
another git revision (exported beside the build, e.g. the one before a change) against the same
baselines and inputs; --ponte measures a bridge already built, with its stand-in in the `acbr`
directory beside it (e.g. build/bullseye/acbr-ponte, the release build for older glibc versions);
--instrucoes adds the bridge's instructions per line, counted by Valgrind's
callgrind (deterministic, unlike the times; a few minutes). Nothing here asserts a time: the
targets are printed beside the figures.
"""
import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, NamedTuple, Optional

RAIZ = Path(__file__).resolve().parent.parent
BASES = ["ponte_bench_entradas", "ponte_bench_medir", "base_linhas_fixas", "base_ciclo_da_biblioteca",
         "base_ler_ate_o_fim", "base_rapidjson", "base_simdjson"]


class Carga(NamedTuple):
    """A workload: what the bridge reads and what it is compared with."""
    numero: str
    nome: str
    arquivo: str  # the input, in the inputs' directory unless absolute
    vezes: int  # runs per sample
    saida: str  # "null": /dev/null; "pipe": read by the runner
    bases: list  # (label, command[, own input])
    linhas: int  # lines the bridge must answer through a pipe
    alvos: list  # target ratio per baseline; None: shown, not judged
    conferir: Callable[[], bool]  # the bridge's answers checked before timing
    ambiente_da_ponte: Optional[dict] = None  # variables added for the bridge


def ambiente_do_processo(acrescimos=None):
    """This environment without ACBR_DIR (the bridge then finds the stand-in beside itself), plus
    `acrescimos`."""
    return {**{k: v for k, v in os.environ.items() if k != "ACBR_DIR"}, **(acrescimos or {})}


def rodar(*argumentos, **opcoes):
    return subprocess.run([str(a) for a in argumentos], check=True, **opcoes)


def variaveis_do_preset_release(fonte):
    """The cache variables of the release preset, inherited ones included, so that the binary
    measured is the shipped one (an earlier revision's presets may not inherit)."""
    presets = {p["name"]: p for p in json.loads((fonte / "CMakePresets.json").read_text())["configurePresets"]}

    def variaveis(nome):
        preset = presets[nome]
        herdados = preset.get("inherits", [])
        resultado = {}
        # The first preset inherited wins over the later ones; the preset's own values over all.
        for pai in reversed([herdados] if isinstance(herdados, str) else herdados):
            resultado.update(variaveis(pai))
        resultado.update(preset.get("cacheVariables", {}))
        return resultado

    return variaveis("release") if "release" in presets else {"CMAKE_BUILD_TYPE": "Release"}


def construir(fonte, build, alvos, bench):
    variaveis = variaveis_do_preset_release(fonte)
    variaveis.update({
        "PONTE_BENCH": "ON" if bench else "OFF",
        "PONTE_TESTES": "OFF",
    })
    rodar("cmake", "-S", fonte, "-B", build, "-G", "Ninja",
          *[f"-D{nome}={valor}" for nome, valor in variaveis.items()], stdout=subprocess.DEVNULL)
    rodar("cmake", "--build", build, "-j2", "--target", *alvos, stdout=subprocess.DEVNULL)
    return variaveis


def exportar(revisao, destino):
    """The sources of a git revision, in `destino` (replaced)."""
    commit = rodar("git", "-C", RAIZ, "rev-parse", "--short", f"{revisao}^{{commit}}",
                   capture_output=True, text=True).stdout.strip()
    if destino.exists():
        rodar("rm", "-rf", destino)
    destino.mkdir(parents=True)
    arquivo = subprocess.Popen(["git", "-C", str(RAIZ), "archive", commit], stdout=subprocess.PIPE)
    rodar("tar", "-x", "-C", destino, stdin=arquivo.stdout)
    if arquivo.wait() != 0:
        sys.exit(f"git archive {revisao} failed")
    return commit


class Medidor:
    def __init__(self, build):
        self.medir = build / "bench" / "ponte_bench_medir"

    def __call__(self, vezes, saida, entrada, comando, ambiente=None):
        """Seconds per run, peak resident KiB, output lines of the last run; `ambiente` adds variables."""
        resultado = subprocess.run([str(self.medir), str(vezes), saida, str(entrada), *map(str, comando)],
                                   check=True, capture_output=True, text=True,
                                   env=ambiente_do_processo(ambiente))
        total, rss, linhas = resultado.stdout.split()
        return float(total) / vezes, int(rss), int(linhas)


def respostas(ponte, entrada, linhas=None, ambiente=None):
    """The bridge's answer lines to the first `linhas` lines of the input (all of it when None)."""
    with open(entrada, "rb") as arquivo:
        texto = arquivo.read() if linhas is None else b"".join(arquivo.readline() for _ in range(linhas))
    saida = subprocess.run([str(ponte)], input=texto, capture_output=True, check=True,
                           env=ambiente_do_processo(ambiente)).stdout
    return saida.decode().splitlines()


def instrucoes(ponte, entrada):
    """Instructions the bridge executes on an input, counted by callgrind."""
    with open(entrada, "rb") as arquivo:
        resultado = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", str(ponte)],
                                   stdin=arquivo, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                   check=True)
    return int(next(l for l in resultado.stderr.splitlines() if "Collected" in l).split()[-1])


def carga_media():
    with open("/proc/loadavg") as arquivo:
        return " ".join(arquivo.read().split()[:3])


def formatar_tempo(segundos):
    if segundos >= 1:
        return f"{segundos:.3f} s"
    if segundos >= 1e-3:
        return f"{segundos * 1e3:.2f} ms"
    return f"{segundos * 1e6:.1f} µs"


def main():
    argumentos = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    argumentos.add_argument("--build", type=Path, default=RAIZ / "build" / "bench-comparar")
    argumentos.add_argument("--pares", type=int, default=7)
    argumentos.add_argument("--cargas", help="workload numbers to run, e.g. 1,2 (default: all)")
    argumentos.add_argument("--ponte-de", metavar="REVISAO", help="measure the bridge of this git revision")
    argumentos.add_argument("--ponte", metavar="EXECUTAVEL", type=Path,
                            help="measure this bridge, already built, its stand-in beside it")
    argumentos.add_argument("--instrucoes", action="store_true",
                            help="also count the bridge's instructions per line with callgrind")
    argumentos.add_argument("--saida", type=Path, help="also write the report to this file")
    opcoes = argumentos.parse_args()
    build = opcoes.build.resolve()

    variaveis = construir(RAIZ, build, ["acbr-ponte", "acbr_falsa", *BASES], bench=True)
    ponte = build / "acbr-ponte"
    biblioteca = next((build / "acbr").glob("*.so"))
    origem = "this tree"
    if opcoes.ponte_de:
        # Another revision's bridge, with its own stand-in beside it; the baselines stay these.
        fonte = build / "outra-revisao" / "fonte"
        commit = exportar(opcoes.ponte_de, fonte)
        construir(fonte, build / "outra-revisao" / "build", ["acbr-ponte", "acbr_falsa"], bench=False)
        ponte = build / "outra-revisao" / "build" / "acbr-ponte"
        origem = f"revision {commit}"
    elif opcoes.ponte:
        ponte = opcoes.ponte.resolve()
        origem = f"`{opcoes.ponte}`"

    entradas = build / "entradas"
    entradas.mkdir(exist_ok=True)
    rodar(build / "bench" / "ponte_bench_entradas", entradas)
    base = build / "bench"
    medir = Medidor(build)
    tamanho_grande = (entradas / "grande.txt").stat().st_size
    linhas_fixas = ("read + one write(2) per line", [base / "base_linhas_fixas"])

    ciclo_da_biblioteca = ("bare dlopen cycle per line", [base / "base_ciclo_da_biblioteca", biblioteca])
    diretorio_da_biblioteca = {"ACBR_DIR": str(biblioteca.parent)}

    def versoes_respondidas(ambiente):
        linhas = respostas(ponte, entradas / "versoes.txt", 4, ambiente)
        return len(linhas) == 4 and all(l.startswith('{"ok":true,"nome"') for l in linhas)

    def primeiras_invalidas(linhas):
        return len(linhas) == 4 and all(l.startswith('{"ok":false,"erro":"comando inv') for l in linhas)

    falha_esperada = ('{"ok":false,"erro":"comando inválido: expected `,` or `}` at line 1 column '
                      f'{tamanho_grande - 1}"}}')
    CARGAS = [
        Carga("1", "300,000 short invalid commands (stdout: /dev/null)", "curtas.txt", 1, "null", [linhas_fixas],
              0, [1.5], lambda: primeiras_invalidas(respostas(ponte, entradas / "curtas.txt", 4))),
        # Through a pipe the figures depend on how often the reader must be woken, which changes
        # with scheduling from run to run: shown, not judged.
        Carga("1b", "the same, stdout: a pipe the runner reads", "curtas.txt", 1, "pipe", [linhas_fixas],
              300_000, [None], lambda: True),
        Carga("2", "2,000 commands nested 120 deep, refused at the end (stdout: /dev/null, 20 runs per sample)",
              "aninhadas.txt", 20, "null", [linhas_fixas], 0, [1.5],
              lambda: respostas(ponte, entradas / "aninhadas.txt", 1) ==
              ['{"ok":false,"erro":"comando inválido: unknown variant `ajuda`, expected `versao` '
               'at line 1 column 257"}']),
        Carga("3", "one 32 MiB valid line, ignored member then \"cmd\"", "grande.txt", 1, "pipe",
              [("simdjson DOM", [base / "base_simdjson"]),
               ("RapidJSON SAX, UTF-8 validated", [base / "base_rapidjson"])],
              1, [1.0, 1.0], lambda: respostas(ponte, entradas / "grande.txt")[0].startswith('{"ok":true,"nome"')),
        Carga("4", "the same line failing at its last byte (expected `,` or `}`)", "grande_falha.txt", 1, "pipe",
              [("simdjson DOM", [base / "base_simdjson", "--invalido"]),
               ("RapidJSON SAX, UTF-8 validated", [base / "base_rapidjson", "--invalido"]),
               # Failing costs what succeeding does: the bridge itself on the valid line.
               ("the bridge on the valid line (workload 3)", [ponte], entradas / "grande.txt")],
              1, [1.0, None, None], lambda: respostas(ponte, entradas / "grande_falha.txt") == [falha_esperada]),
        # The baseline is handed the library's path; the bridge, like for like, its directory.
        Carga("5", "20,000 version queries (stand-in library, ACBR_DIR set)", "versoes.txt", 1, "pipe",
              [ciclo_da_biblioteca], 20_000, [1.10], lambda: versoes_respondidas(diretorio_da_biblioteca),
              diretorio_da_biblioteca),
        # Unset, the bridge also asks the system for its own path on every query.
        Carga("5b", "the same, ACBR_DIR unset (the library found beside the executable)", "versoes.txt", 1, "pipe",
              [ciclo_da_biblioteca], 20_000, [None], lambda: versoes_respondidas(None)),
        Carga("6", "start-up and exit, empty input (300 runs per sample)", "/dev/null", 300, "pipe",
              [("read stdin to its end", [base / "base_ler_ate_o_fim"])], 0, [1.25], lambda: True),
    ]
    escolhidas = opcoes.cargas.split(",") if opcoes.cargas else [c[0] for c in CARGAS]
    desconhecidas = set(escolhidas) - {c[0] for c in CARGAS}
    if desconhecidas:
        sys.exit(f"unknown workloads: {', '.join(sorted(desconhecidas))}")
    cargas = [c for c in CARGAS if c[0] in escolhidas]

    # Each workload is answered correctly before anything is timed.
    for numero, nome, _, _, _, _, _, _, conferir, _ in cargas:
        if not conferir():
            sys.exit(f"{numero}. {nome}: the bridge does not answer as expected")

    carga_antes = carga_media()
    inicio = time.strftime('%Y-%m-%d %H:%M:%S %Z')
    resultados = []
    for numero, nome, arquivo, vezes, saida, bases, linhas, alvos, _, ambiente_da_ponte in cargas:
        entrada = arquivo if arquivo.startswith("/") else entradas / arquivo
        programas = [("bridge", [ponte], entrada, ambiente_da_ponte)] + [
            (base_[0], base_[1], base_[2] if len(base_) > 2 else entrada, None) for base_ in bases]
        amostras = {programa[0]: [] for programa in programas}
        memoria = {programa[0]: 0 for programa in programas}
        for _ in range(opcoes.pares):
            for rotulo, comando, entrada_do_programa, ambiente in programas:
                segundos, rss, saidas = medir(vezes, saida, entrada_do_programa, comando, ambiente)
                if rotulo == "bridge" and saida == "pipe" and saidas != linhas:
                    sys.exit(f"{nome}: the bridge answered {saidas} lines, not {linhas}")
                amostras[rotulo].append(segundos)
                memoria[rotulo] = max(memoria[rotulo], rss)
        resultados.append((numero, nome, arquivo, vezes, programas, amostras, memoria, alvos))
        print(f"done: {numero}. {nome}", file=sys.stderr)
    carga_depois = carga_media()

    compilador = subprocess.run(["c++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    linhas_md = [
        f"Run of {inicio} on {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; {compilador}; "
        f"bridge ({origem}) and baselines at `{variaveis.get('CMAKE_CXX_FLAGS_RELEASE', 'CMake default')}`, "
        f"release preset settings: "
        f"`{' '.join(f'{k}={v}' for k, v in sorted(variaveis.items()))}`. "
        f"{opcoes.pares} interleaved pairs per workload. Load average (1, 5, 15 min): {carga_antes} before, "
        f"{carga_depois} after.",
        "",
        "| Workload | Bridge (median) | Baseline | Baseline (median) | Ratio of medians | Per-pair ratios | Target |",
        "|---|---|---|---|---|---|---|",
    ]
    for numero, nome, arquivo, vezes, programas, amostras, memoria, alvos in resultados:
        ponte_mediana = statistics.median(amostras["bridge"])
        for (rotulo, *_), alvo in zip(programas[1:], alvos):
            mediana = statistics.median(amostras[rotulo])
            razao = ponte_mediana / mediana
            pares = " ".join(f"{a / b:.2f}" for a, b in zip(amostras["bridge"], amostras[rotulo]))
            if arquivo.startswith("grande"):
                rotulo_ponte = f"{formatar_tempo(ponte_mediana)} ({tamanho_grande / ponte_mediana / 1e6:.0f} MB/s)"
                rotulo_base = f"{formatar_tempo(mediana)} ({tamanho_grande / mediana / 1e6:.0f} MB/s)"
            else:
                rotulo_ponte, rotulo_base = formatar_tempo(ponte_mediana), formatar_tempo(mediana)
            meta = "(for reference)" if alvo is None else f"≤ {alvo:.2f} {'met' if razao <= alvo else 'missed'}"
            linhas_md.append(f"| {numero}. {nome} | {rotulo_ponte} | {rotulo} | {rotulo_base} | {razao:.2f} | "
                             f"{pares} | {meta} |")

    linhas_md += ["", "| Peak resident memory (ru_maxrss) | Bridge | Baselines |", "|---|---|---|"]
    for numero, nome, arquivo, vezes, programas, amostras, memoria, alvos in resultados:
        if vezes != 1 or numero in ("1b", "5b"):
            continue
        bases = ", ".join(f"{rotulo}: {memoria[rotulo] / 1024:.1f} MiB" for rotulo, *_ in programas[1:])
        extra = ""
        if arquivo.startswith("grande"):
            extra = f" = {memoria['bridge'] * 1024 / tamanho_grande:.2f} × the line (target ≤ 1.5)"
        linhas_md.append(f"| {numero}. {nome} | {memoria['bridge'] / 1024:.1f} MiB{extra} | {bases} |")

    if opcoes.instrucoes:
        # The start-up's own count is taken off, so that what is left is the lines' work.
        primeiras = entradas / "curtas_10000.txt"
        with open(entradas / "curtas.txt", "rb") as arquivo:
            primeiras.write_bytes(b"".join(arquivo.readline() for _ in range(10_000)))
        vazio = instrucoes(ponte, "/dev/null")
        linhas_md += ["", f"| Instructions per line (callgrind, start-up's {vazio:,} taken off) | Bridge ({origem}) |",
                      "|---|---|"]
        for rotulo, arquivo, linhas in [("10,000 short invalid commands (the four kinds of workload 1)", primeiras, 10_000),
                                         ("2,000 commands nested 120 deep (workload 2)", entradas / "aninhadas.txt", 2_000),
                                         ("the 32 MiB valid line (workload 3), per byte", entradas / "grande.txt",
                                          tamanho_grande),
                                         ("the 32 MiB failing line (workload 4), per byte", entradas / "grande_falha.txt",
                                          tamanho_grande)]:
            por_linha = (instrucoes(ponte, arquivo) - vazio) / linhas
            linhas_md.append(f"| {rotulo} | {por_linha:,.0f} |" if por_linha >= 100 else f"| {rotulo} | {por_linha:.2f} |")
            print(f"counted: {rotulo}", file=sys.stderr)

    relatorio = "\n".join(linhas_md) + "\n"
    print(relatorio)
    if opcoes.saida:
        opcoes.saida.write_text(relatorio)


if __name__ == "__main__":
    main()
