#!/usr/bin/env bash
# Makes, once, the Debian 11 ("bullseye", glibc 2.31) tree that the old-glibc release builds
# compile against (cmake/toolchains/bullseye.cmake) and that tools/testar-bullseye.sh runs the
# bridge in, and prints its path. The tree is kept between runs in $ACBR_PONTE_CACHE (default
# /var/cache/acbr-ponte) as bullseye-<architecture>; one made by another recipe is made again.
#   tools/bullseye.sh amd64|i386
# amd64: a minimal system (debootstrap --variant=minbase) with libc6-dev, ready for chroot.
# i386: the same packages, unpacked only (debootstrap --foreign, then dpkg-deb -x): completing
# it would run i386 programs, which not every x86-64 kernel does; it serves as the sysroot, and
# as the library prefix of qemu-i386 where the kernel cannot run it.
# Needs root (debootstrap) and Debian's archive: debootstrap's default mirror, or the one
# $ACBR_PONTE_ESPELHO names. Exit status 3: the archive cannot be reached (callers skip).
set -euo pipefail

arquitetura=${1:-}
case $arquitetura in
amd64 | i386) ;;
*) echo "uso: $0 amd64|i386" >&2; exit 2 ;;
esac
cache=${ACBR_PONTE_CACHE:-/var/cache/acbr-ponte}
espelho=${ACBR_PONTE_ESPELHO:-}
raiz=$cache/bullseye-$arquitetura
pacotes=libc6-dev,linux-libc-dev
# Changing what goes into the tree changes this line, and the trees already made are remade.
receita="2 bullseye $arquitetura minbase $pacotes"

pronta() { [ -f "$raiz/.acbr-ponte-receita" ] && [ "$(cat "$raiz/.acbr-ponte-receita")" = "$receita" ]; }
if pronta; then
  echo "$raiz"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "bullseye.sh: making $raiz needs root (debootstrap)" >&2
  exit 1
fi
mkdir -p "$cache"
# One maker at a time per tree; whoever waited finds it made.
exec 9>"$raiz.trava"
flock 9
if pronta; then
  echo "$raiz"
  exit 0
fi
novo=$raiz.novo
# A debootstrap that failed may have left /proc or /sys mounted in the tree: unmounted before
# anything there is removed.
remover() {
  local montagem
  for montagem in $(awk -v raiz="$1/" 'index($2, raiz) == 1 { print $2 }' /proc/mounts | sort -r); do
    umount -l "$montagem"
  done
  rm -rf "$1"
}
remover "$novo"
remover "$raiz"
trap 'remover "$novo"' EXIT
registro=$raiz.log
echo "bullseye.sh: making $raiz (debootstrap, a few minutes; its log: $registro)" >&2
opcoes=(--arch="$arquitetura" --variant=minbase --include="$pacotes")
debootstrap() {
  if ! command debootstrap "$@" bullseye "$novo" ${espelho:+"$espelho"} >"$registro" 2>&1; then
    if grep -q '^E: Failed getting release file' "$registro"; then
      echo "bullseye.sh: Debian's archive cannot be reached: $(grep '^E: ' "$registro" | head -n 1)" >&2
      exit 3
    fi
    tail -n 20 "$registro" >&2
    echo "bullseye.sh: debootstrap failed (the whole log: $registro)" >&2
    exit 1
  fi
}
if [ "$arquitetura" = i386 ]; then
  debootstrap --foreign "${opcoes[@]}"
  # The first stage unpacked the essential packages; the rest it only fetched.
  for deb in "$novo"/var/cache/apt/archives/*.deb; do
    dpkg-deb -x "$deb" "$novo"
  done
else
  debootstrap "${opcoes[@]}"
fi
rm -f "$novo"/var/cache/apt/archives/*.deb
# Links such as lib64/ld-linux-x86-64.so.2 -> /lib/x86_64-linux-gnu/ld-2.31.so point into the
# tree only from inside it: made relative, they hold for the linker outside it as well.
find "$novo" -type l -lname '/*' -print0 | while IFS= read -r -d '' elo; do
  alvo=$(readlink "$elo")
  ln -sfn "$(realpath -m -s --relative-to="$(dirname "$elo")" "$novo$alvo")" "$elo"
done
echo "$receita" >"$novo/.acbr-ponte-receita"
mv "$novo" "$raiz"
trap - EXIT
echo "$raiz"
