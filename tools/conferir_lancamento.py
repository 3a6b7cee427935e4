#!/usr/bin/env python3
"""Checks a release build of the bridge, whatever its platform.

Run it on the build directory of a `release` or `<platform>-release` preset after that preset's
workflow (configure, build, package), e.g.

    cmake --workflow --preset windows-release && tools/conferir_lancamento.py build/windows-release

What the build is comes from the file CMake wrote there, lancamento.json (cmake/Lancamento.cmake):
its triple, its library file name, its stand-ins, its emulator. The checks:

- the executable is one of the target's (ELF class, byte order and machine; PE machine);
- it needs nothing but the system: an ELF one only glibc's libraries, without libm where the
  build links it in (cmake/conferir_binario.cmake), a Windows one only system DLLs
  (cmake/conferir_importacoes.cmake, with the target's objdump);
- its archive, no older than it, holds exactly the stripped bridge named with the triple and the
  documentation: no stand-in library, which would answer in place of the host's;
- unpacked, with the stand-in installed beside it (`cmake --install --component falsa`), it
  answers two version queries (the first line ending in CR LF) through its emulator when it has
  one, ACBR_DIR unset: with the stand-in's name and version where the library is published, with
  the platform message elsewhere; on 32-bit Windows through the StdCall stand-in too.
Under Wine it runs in a throwaway prefix, stopped at the end. Prints the executable's size.
With --sem-executar, for a machine that cannot run the target's programs, everything but the
queries is checked.
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

RAIZ = Path(__file__).resolve().parent.parent
CONSULTAS = b'{"cmd":"versao"}\r\n{"cmd":"versao"}\n'
RESPOSTA_DA_FALSA = '{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
# ELF: class (1: 32-bit, 2: 64-bit), byte order (1: little, 2: big endian), machine. PE: machine.
ELF = {"x86_64": (2, 1, 62), "i686": (1, 1, 3), "aarch64": (2, 1, 183), "s390x": (2, 2, 22)}
PE = {"x86_64": 0x8664, "i686": 0x14C}


class Falha(Exception):
    pass


def mensagem_da_plataforma():
    """The answer's text on an unpublished platform, as src/acbr/mensagens.hpp writes it."""
    fonte = (RAIZ / "src" / "acbr" / "mensagens.hpp").read_text(encoding="utf-8")
    declaracao = re.search(r"plataforma =(.*?);", fonte, re.S)
    if not declaracao:
        raise Falha("src/acbr/mensagens.hpp: the platform message was not found")
    texto = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', declaracao.group(1)))
    return json.dumps({"ok": False, "erro": texto}, ensure_ascii=False, separators=(",", ":"))


def conferir_formato(executavel, info):
    processador = info["triplo"].split("-")[0]
    dados = executavel.read_bytes()
    if info["sistema"] == "Windows":
        if dados[:2] != b"MZ":
            raise Falha(f"{executavel}: not a PE executable")
        (cabecalho,) = struct.unpack_from("<I", dados, 0x3C)
        if dados[cabecalho:cabecalho + 4] != b"PE\0\0":
            raise Falha(f"{executavel}: no PE header")
        (maquina,) = struct.unpack_from("<H", dados, cabecalho + 4)
        if maquina != PE.get(processador):
            raise Falha(f"{executavel}: PE machine {maquina:#x}, expected {PE.get(processador, 0):#x}")
        print(f"format: PE, machine {maquina:#x} ({processador})")
        return
    if dados[:4] != b"\x7fELF":
        raise Falha(f"{executavel}: not an ELF executable")
    classe, ordem = dados[4], dados[5]
    (maquina,) = struct.unpack_from(">H" if ordem == 2 else "<H", dados, 18)
    if (classe, ordem, maquina) != ELF.get(processador):
        raise Falha(f"{executavel}: ELF class {classe}, byte order {ordem}, machine {maquina}; "
                    f"expected {ELF.get(processador)}")
    print(f"format: ELF, class {classe}, byte order {ordem}, machine {maquina} ({processador})")


def conferir_dependencias(executavel, info):
    if info["sistema"] == "Windows":
        comando = ["cmake", f"-DOBJDUMP={info['objdump']}", f"-DEXECUTAVEL={executavel}",
                   "-P", str(RAIZ / "cmake" / "conferir_importacoes.cmake")]
    else:
        comando = ["cmake", f"-DEXECUTAVEL={executavel}", f"-DSEM_LIBM={'ON' if info['sem_libm'] else 'OFF'}",
                   "-P", str(RAIZ / "cmake" / "conferir_binario.cmake")]
    if subprocess.run(comando).returncode != 0:
        raise Falha(f"{executavel}: its dependencies are not the system's alone")


def nao_tem_simbolos(arquivado, info):
    """Whether the archived executable is stripped: no COFF symbols (binutils may leave the table's
    offset, pointing at an empty string table), or no .symtab section."""
    if info["sistema"] == "Windows":
        dados = arquivado.read_bytes()
        (cabecalho,) = struct.unpack_from("<I", dados, 0x3C)
        (quantos,) = struct.unpack_from("<I", dados, cabecalho + 16)
        return quantos == 0
    secoes = subprocess.run(["readelf", "-S", "-W", str(arquivado)], capture_output=True, text=True, check=True).stdout
    return ".symtab" not in secoes


def conferir_arquivo(build, executavel, info, temporario):
    """The archive's contents; unpacked into `temporario`, the path of its executable."""
    extensao = ".zip" if info["sistema"] == "Windows" else ".tar.gz"
    arquivos = sorted((build / "pacotes").glob(f"acbr-ponte-*-{info['triplo']}{extensao}"))
    if len(arquivos) != 1:
        raise Falha(f"{build}/pacotes: {len(arquivos)} archives for {info['triplo']}; run the preset's workflow "
                    f"(configure, build, package) first")
    arquivo = arquivos[0]
    if arquivo.stat().st_mtime < executavel.stat().st_mtime:
        raise Falha(f"{arquivo} is older than {executavel}: run the preset's workflow again")
    nome = arquivo.name[: -len(extensao)]
    sufixo = ".exe" if info["sistema"] == "Windows" else ""
    esperado = sorted([f"{nome}/bin/acbr-ponte-{info['triplo']}{sufixo}",
                       *(f"{nome}/share/doc/acbr-ponte/{doc}" for doc in ("README.md", "biblioteca.md", "protocolo.md"))])
    if extensao == ".zip":
        with zipfile.ZipFile(arquivo) as zip_:
            obtido = sorted(n for n in zip_.namelist() if not n.endswith("/"))
            zip_.extractall(temporario)
    else:
        with tarfile.open(arquivo) as tar:
            obtido = sorted(m.name for m in tar.getmembers() if not m.isdir())
            tar.extractall(temporario)
    if obtido != esperado:
        raise Falha(f"{arquivo}: holds {obtido}, expected {esperado}")
    print(f"archive: {arquivo} ({arquivo.stat().st_size} bytes), contents as expected")
    arquivado = temporario / nome / "bin" / f"acbr-ponte-{info['triplo']}{sufixo}"
    os.chmod(arquivado, 0o755)
    if not nao_tem_simbolos(arquivado, info):
        raise Falha(f"{arquivado}: the archived bridge is not stripped")
    return arquivado


def ambiente_do_wine(temporario):
    """A throwaway prefix, headless and quiet, with a fixed locale: the system's messages and the
    ANSI code page do not depend on the caller's environment."""
    ambiente = {k: v for k, v in os.environ.items() if k not in ("ACBR_DIR", "DISPLAY")}
    ambiente.update(WINEPREFIX=str(temporario / "wine"), WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8",
                    WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
    return ambiente


def perguntar(arquivado, info, ambiente, esperada, falsa):
    resultado = subprocess.run([*info["emulador"], str(arquivado)], input=CONSULTAS, capture_output=True,
                               env=ambiente, cwd=arquivado.parent, timeout=120)
    resposta = resultado.stdout.decode("utf-8", "replace")
    if resultado.returncode != 0 or resposta != f"{esperada}\n{esperada}\n":
        erro = resultado.stderr.decode("utf-8", "replace")[-500:]
        raise Falha(f"{arquivado} through {falsa}: exit {resultado.returncode}, answered {resposta!r}, "
                    f"expected {esperada!r} twice; standard error: {erro!r}")
    print(f"answers through {falsa}: {esperada}")


def main(argumentos):
    # Where the machine cannot run the target's programs at all (32-bit Wine on a kernel without
    # 32-bit support), everything but the two queries is still checked.
    sem_executar = "--sem-executar" in argumentos
    argumentos = [a for a in argumentos if a != "--sem-executar"]
    if len(argumentos) > 1 or argumentos[:1] in (["-h"], ["--help"]):
        print(__doc__, file=sys.stderr)
        return 2
    build = Path(argumentos[0] if argumentos else RAIZ / "build" / "release").resolve()
    dados = build / "lancamento.json"
    if not dados.is_file():
        print(f"{dados} not found: configure a release preset first", file=sys.stderr)
        return 1
    info = json.loads(dados.read_text(encoding="utf-8"))
    executavel = build / info["executavel"]
    print(f"== {info['triplo']}: {executavel}")
    temporario = Path(tempfile.mkdtemp(prefix="acbr-ponte-lancamento-"))
    wine = bool(info["wineserver"])
    ambiente = ambiente_do_wine(temporario) if wine else {k: v for k, v in os.environ.items() if k != "ACBR_DIR"}
    try:
        conferir_formato(executavel, info)
        conferir_dependencias(executavel, info)
        arquivado = conferir_arquivo(build, executavel, info, temporario)
        if sem_executar:
            print(f"size: {executavel.stat().st_size} bytes as built, {arquivado.stat().st_size} bytes stripped")
            print("release: checked, not run (--sem-executar)")
            return 0
        instalado = arquivado.parent.parent
        subprocess.run(["cmake", "--install", str(build), "--prefix", str(instalado), "--component", "falsa"],
                       check=True, stdout=subprocess.DEVNULL)
        esperada = RESPOSTA_DA_FALSA if info["arquivo_da_lib"] else mensagem_da_plataforma()
        perguntar(arquivado, info, ambiente, esperada, f"{build}/acbr/{info['arquivo_da_falsa']}")
        for outra in info["outras_falsas"]:
            shutil.copyfile(outra, arquivado.parent / "acbr" / info["arquivo_da_falsa"])
            perguntar(arquivado, info, ambiente, esperada, outra)
        print(f"size: {executavel.stat().st_size} bytes as built, {arquivado.stat().st_size} bytes stripped")
    except Falha as falha:
        print(f"conferir_lancamento: {falha}", file=sys.stderr)
        return 1
    finally:
        if wine:
            subprocess.run([info["wineserver"], "-k"], env=ambiente, stderr=subprocess.DEVNULL)
        shutil.rmtree(temporario, ignore_errors=True)
    print("release: checked")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
