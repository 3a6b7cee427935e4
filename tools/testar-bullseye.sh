#!/usr/bin/env bash
# The Linux release binaries for older glibc versions, x86-64 and x86: builds them against the
# Debian 11 (glibc 2.31) trees of tools/bullseye.sh (presets bullseye and bullseye-x86), checks
# that the bridge and the stand-in library of each need no symbol version above GLIBC_2.28 (RHEL
# 8; the floor) and no GLIBCXX one (cmake/conferir_versoes.cmake) and nothing but glibc
# (cmake/conferir_binario.cmake), makes their archives, and runs them on this machine and on the
# trees' Debian 11 userland: there the check of the old-glibc runtime (tests/glibc_antiga)
# passes, the bridge answers the version query through the stand-in built with it, and it
# answers the JSON conformance corpus exactly as the release build for this machine (preset
# release) does here. The x86-64 tree is entered with chroot; the x86 one too where this kernel
# runs i386 programs, through qemu-i386 otherwise. Where the Debian archive cannot be reached to
# make a tree, says so and skips (exit 0). Installs its Debian packages first when run as root
# (tools/dependencias.sh bullseye); needs root for debootstrap and chroot.
#   tools/testar-bullseye.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C
unset ACBR_DIR
bash tools/dependencias.sh bullseye

# The oldest glibc the binaries must load on: the highest symbol version they may need.
piso=2.28
declare -A raiz
for arquitetura in amd64 i386; do
  status=0
  raiz[$arquitetura]=$(bash tools/bullseye.sh "$arquitetura") || status=$?
  if [ "$status" -eq 3 ]; then
    echo "testar-bullseye: skipped: the Debian archive cannot be reached to make the Debian 11 tree"
    exit 0
  fi
  [ "$status" -eq 0 ] || exit "$status"
  echo "Debian 11 tree ($arquitetura): ${raiz[$arquitetura]}"
done

declare -A build=([amd64]=build/bullseye [i386]=build/bullseye-x86)
cmake --preset bullseye -DPONTE_BULLSEYE="${raiz[amd64]}" >/dev/null
cmake --build "${build[amd64]}" -j2
cmake --preset bullseye-x86 -DPONTE_BULLSEYE="${raiz[i386]}" >/dev/null
cmake --build "${build[i386]}" -j2
# This machine's own release build, whose answers the others must give.
cmake --preset release >/dev/null
cmake --build build/release -j2 --target acbr-ponte acbr_falsa

# --- what the binaries need
for arquitetura in amd64 i386; do
  b=${build[$arquitetura]}
  for arquivo in "$b/acbr-ponte" "$b"/acbr/libacbrnfe*.so; do
    cmake -DARQUIVO="$arquivo" -DGLIBC_MAXIMA="$piso" -P cmake/conferir_versoes.cmake
  done
  sem_libm=OFF
  grep -q '^PONTE_LIBM_ESTATICA_FUNCIONA:INTERNAL=1$' "$b/CMakeCache.txt" && sem_libm=ON
  cmake -DEXECUTAVEL="$b/acbr-ponte" -DSEM_LIBM="$sem_libm" -DGLIBC_SEPARADA=ON -P cmake/conferir_binario.cmake
  rm -rf "$b/pacotes"
  (cd "$b" && cpack >/dev/null)
  echo "archive: $(ls "$b"/pacotes/*.tar.gz)"
done

# --- the runs
versao_esperada='{"ok":true,"nome":"ACBrLibNFe (falsa)","versao":"0.0.0-falsa"}'
temporario=$(mktemp -d /tmp/acbr-ponte-bullseye-XXXXXX)
trap 'rm -rf "$temporario"' EXIT

# The conformance corpus, each file's text as a member of a version query and on its own line:
# versions queried through the library, and the JSON reader's diagnostics. A line that is not
# UTF-8 ends the bridge's input: the files that are not come last, after which nothing is answered.
corpus=$(find tests -type d -path '*/jsontestsuite/test_parsing' | head -n 1)
python3 - "$corpus" >"$temporario/corpus.txt" <<'FIM'
import sys
from pathlib import Path

textos = [arquivo.read_bytes() for arquivo in sorted(Path(sys.argv[1]).glob("*.json"))]
def utf8(texto):
    try:
        texto.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False
saida = sys.stdout.buffer
for texto in filter(utf8, textos):
    saida.write(b'{"x":' + texto + b',"cmd":"versao"}\n' + texto + b"\n")
for texto in textos:
    if not utf8(texto):
        saida.write(texto + b"\n")
FIM
ACBR_DIR=$PWD/build/release/acbr build/release/acbr-ponte <"$temporario/corpus.txt" >"$temporario/esperado.txt"
respostas=$(wc -l <"$temporario/esperado.txt")
versoes=$(grep -cxF "$versao_esperada" "$temporario/esperado.txt" || true)
if [ "$respostas" -lt 500 ] || [ "$versoes" -lt 95 ]; then
  echo "testar-bullseye: the corpus got $respostas answers, $versoes of them versions: too few" >&2
  exit 1
fi

# The stand-in's misbehaviours (all but the ten-minute sleep), each under two version queries:
# what the bridge answers and its exit status, which must be this machine's release build's.
defeitos=(escreve_linha escreve_sem_fim escreve_descritor escreve_erro le_entrada acesso_nulo muda_diretorio
  sigpipe_padrao instala_sinais muda_fpu)
declare -A com_defeito
for defeito in "${defeitos[@]}"; do
  com_defeito[$defeito]=$(printf '{"cmd":"versao"}\n{"cmd":"versao"}\n' |
    { ACBR_FALSA_DEFEITO=$defeito ACBR_DIR=$PWD/build/release/acbr build/release/acbr-ponte || echo "status $?"; } 2>/dev/null)
done

# The ways to run a program: each takes VARIABLE=value assignments, then the command.
# directly on this machine:
direto() { env "$@"; }
# in a Debian 11 tree, as root: a mount namespace of its own with /proc (where the bridge finds
# its own path), then chroot, with an environment of only PATH and the assignments:
na_arvore() {
  local arvore=$1
  shift
  unshare --mount --fork sh -c 'arvore=$1; shift; mount -t proc proc "$arvore/proc" && exec chroot "$arvore" "$@"' \
    sh "$arvore" /usr/bin/env -i PATH=/usr/bin:/bin "$@"
}
# i386 programs under qemu-user, with the C library of the tree given:
pela_qemu() {
  local arvore=$1 atribuicoes=()
  shift
  while [[ $1 == *=* ]]; do
    atribuicoes+=("$1")
    shift
  done
  env "${atribuicoes[@]}" qemu-i386 -L "$arvore" "$@"
}

limpar=("$temporario")
trap 'rm -rf "${limpar[@]}"' EXIT

# conferir RÓTULO BUILD DIRETÓRIO VISTO_COMO EXECUTOR...: copies BUILD's bridge, stand-in and
# runtime check into DIRETÓRIO, which the executor sees as VISTO_COMO, and runs there the
# runtime check, the version query (library beside the bridge, then named by ACBR_DIR) and the
# corpus.
conferir() {
  local rotulo=$1 de=$2 dir=$3 dentro=$4/acbr-ponte-bullseye resposta acbr_dir
  shift 4
  mkdir -p "$dir"
  limpar+=("$dir")
  mkdir -p "$dir/acbr-ponte-bullseye"
  cp -r "$de/acbr-ponte" "$de/acbr" "$de/tests/glibc_antiga/ponte_glibc_antiga_teste" "$dir/acbr-ponte-bullseye/"
  echo "--- $rotulo"
  "$@" "$dentro/ponte_glibc_antiga_teste"
  for acbr_dir in "" "$dentro/acbr"; do
    resposta=$(printf '{"cmd":"versao"}\n' | "$@" ${acbr_dir:+ACBR_DIR=$acbr_dir} "$dentro/acbr-ponte")
    if [ "$resposta" != "$versao_esperada" ]; then
      echo "testar-bullseye: $rotulo: the version query (ACBR_DIR ${acbr_dir:-unset}) answered: $resposta" >&2
      exit 1
    fi
  done
  echo "version query answered, the library beside the bridge and named by ACBR_DIR: $resposta"
  "$@" ACBR_DIR="$dentro/acbr" "$dentro/acbr-ponte" <"$temporario/corpus.txt" >"$temporario/obtido.txt"
  if ! cmp -s "$temporario/esperado.txt" "$temporario/obtido.txt"; then
    echo "testar-bullseye: $rotulo: the corpus answers differ from this machine's release build:" >&2
    diff "$temporario/esperado.txt" "$temporario/obtido.txt" | head -n 20 >&2
    exit 1
  fi
  echo "conformance corpus: $respostas answers ($versoes version queries), identical to this machine's release build"
  local defeito obtido
  for defeito in "${defeitos[@]}"; do
    obtido=$(printf '{"cmd":"versao"}\n{"cmd":"versao"}\n' |
      { "$@" ACBR_FALSA_DEFEITO="$defeito" ACBR_DIR="$dentro/acbr" "$dentro/acbr-ponte" || echo "status $?"; } 2>/dev/null)
    if [ "$obtido" != "${com_defeito[$defeito]}" ]; then
      echo "testar-bullseye: $rotulo: with the stand-in's misbehaviour $defeito the bridge gave:" >&2
      echo "$obtido" >&2
      echo "where this machine's release build gives:" >&2
      echo "${com_defeito[$defeito]}" >&2
      exit 1
    fi
  done
  echo "the stand-in's ${#defeitos[@]} misbehaviours: answers and exit status identical to this machine's release build"
}

nome=$(basename "$temporario")
x86_64=${raiz[amd64]}
i386=${raiz[i386]}
conferir "x86-64 on this machine" "${build[amd64]}" "$temporario/local" "$temporario/local" direto
# The tree really has an older glibc: the release build for this machine does not start there.
limpar+=("$x86_64/tmp/$nome")
mkdir -p "$x86_64/tmp/$nome"
cp build/release/acbr-ponte "$x86_64/tmp/$nome/acbr-ponte-desta-maquina"
if erro=$(na_arvore "$x86_64" "/tmp/$nome/acbr-ponte-desta-maquina" </dev/null 2>&1); then
  echo "testar-bullseye: the release build for this machine started in the Debian 11 tree" >&2
  exit 1
fi
echo "--- the release build for this machine, in the Debian 11 tree: ${erro%%$'\n'*}"
conferir "x86-64 in the Debian 11 tree (chroot)" "${build[amd64]}" "$x86_64/tmp/$nome" "/tmp/$nome" na_arvore "$x86_64"

if chroot "$i386" /bin/true 2>/dev/null; then
  conferir "x86 on this machine" "${build[i386]}" "$temporario/local-x86" "$temporario/local-x86" direto
  conferir "x86 in the Debian 11 tree (chroot)" "${build[i386]}" "$i386/tmp/$nome" "/tmp/$nome" na_arvore "$i386"
else
  echo "(this kernel runs no i386 programs: the x86 binaries run under qemu-i386)"
  conferir "x86 on this machine's i386 glibc (qemu-i386 -L /usr/i686-linux-gnu)" "${build[i386]}" \
    "$temporario/local-x86" "$temporario/local-x86" pela_qemu /usr/i686-linux-gnu
  conferir "x86 on the Debian 11 tree's glibc (qemu-i386 -L)" "${build[i386]}" "$temporario/qemu-x86" \
    "$temporario/qemu-x86" pela_qemu "$i386"
fi
echo "testar-bullseye: the release binaries for glibc $piso and later passed"
