#!/usr/bin/env python3
"""Gathers the shipped bridges, one per platform the library is published for, into the folder
the clients' packages are made from:

    build/binarios/linux-x64/acbr-ponte        from build/bullseye's release archive
    build/binarios/linux-x86/acbr-ponte        from build/bullseye-x86's
    build/binarios/win-x64/acbr-ponte.exe      from build/windows-release's
    build/binarios/win-x86/acbr-ponte.exe      from build/windows-x86-release's

Each bridge is taken out of its release archive (`bin/acbr-ponte-<triple>[.exe]`, stripped), so a
package carries exactly the bytes of the archive. Where the Linux builds against Debian 11 are
missing (tools/testar-bullseye.sh skips when Debian's archive cannot be reached), the builds for
this machine's glibc (presets `release`, `x86-release`) stand in, and it says so. Run after the
release workflows:

    tools/reunir_binarios.py [DESTINO]        DESTINO defaults to build/binarios
"""
import hashlib
import shutil
import sys
import tarfile
import zipfile
from pathlib import Path

RAIZ = Path(__file__).resolve().parent.parent
# key: (builds to take it from, in order of preference; triple; executable's name)
PLATAFORMAS = {
    "linux-x64": (["bullseye", "release"], "x86_64-unknown-linux-gnu", "acbr-ponte"),
    "linux-x86": (["bullseye-x86", "x86-release"], "i686-unknown-linux-gnu", "acbr-ponte"),
    "win-x64": (["windows-release"], "x86_64-pc-windows-gnu", "acbr-ponte.exe"),
    "win-x86": (["windows-x86-release"], "i686-pc-windows-gnu", "acbr-ponte.exe"),
}


def do_arquivo(arquivo: Path, triplo: str, nome: str) -> bytes:
    sufixo = ".exe" if nome.endswith(".exe") else ""
    membro = f"{arquivo.name.rsplit('.zip', 1)[0].rsplit('.tar.gz', 1)[0]}/bin/acbr-ponte-{triplo}{sufixo}"
    if arquivo.suffix == ".zip":
        with zipfile.ZipFile(arquivo) as zip_:
            return zip_.read(membro)
    with tarfile.open(arquivo) as tar:
        lido = tar.extractfile(membro)
        if lido is None:
            raise KeyError(membro)
        return lido.read()


def main(argumentos: list) -> int:
    destino = Path(argumentos[0] if argumentos else RAIZ / "build" / "binarios")
    falhas = []
    reunidos = {}
    for chave, (builds, triplo, nome) in PLATAFORMAS.items():
        extensao = ".zip" if nome.endswith(".exe") else ".tar.gz"
        for preferencia, build in enumerate(builds):
            arquivos = sorted((RAIZ / "build" / build / "pacotes").glob(f"acbr-ponte-*-{triplo}{extensao}"))
            if len(arquivos) == 1:
                if preferencia:
                    print(f"{chave}: build/{builds[0]} has no archive; taking build/{build}'s, "
                          f"which needs this machine's glibc")
                reunidos[chave] = (arquivos[0], do_arquivo(arquivos[0], triplo, nome))
                break
        else:
            falhas.append(f"{chave}: no release archive in {', '.join('build/' + b + '/pacotes' for b in builds)}")
    if falhas:
        print("reunir_binarios: " + "; ".join(falhas), file=sys.stderr)
        return 1
    shutil.rmtree(destino, ignore_errors=True)
    for chave, (arquivo, dados) in reunidos.items():
        nome = PLATAFORMAS[chave][2]
        pasta = destino / chave
        pasta.mkdir(parents=True)
        (pasta / nome).write_bytes(dados)
        (pasta / nome).chmod(0o755)
        print(f"{pasta / nome}: {len(dados)} bytes, sha256 {hashlib.sha256(dados).hexdigest()[:16]}…, "
              f"from {arquivo.relative_to(RAIZ)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
