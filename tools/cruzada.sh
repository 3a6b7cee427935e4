# What tools/testar-x86.sh and tools/testar-qemu.sh share, sourced by both: the cross build and
# its tests, then the triple-named release binary, checked from its own ELF header.

# cruzada_testar TOOLCHAIN BUILD_DIR: the Debug build with warnings as errors and every test.
cruzada_testar() {
  cmake -S . -B "$2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$1" -DCMAKE_BUILD_TYPE=Debug -DPONTE_WERROR=ON
  cmake --build "$2" -j2
  ctest --test-dir "$2" -j2 --output-on-failure --no-tests=error --timeout 300
}

# cruzada_lancamento TOOLCHAIN BUILD_DIR TRIPLE CLASS ORDER MACHINE: the Release build, its
# binary copied to acbr-ponte-TRIPLE, whose path it leaves in `exe`, and its archive. The header
# must say ELF CLASS (1: 32-bit, 2: 64-bit), byte ORDER (1: little, 2: big endian) and MACHINE.
cruzada_lancamento() {
  local toolchain=$1 lancamento=$2 triplo=$3 classe=$4 ordem=$5 maquina=$6
  cmake -S . -B "$lancamento" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DPONTE_TESTES=OFF
  cmake --build "$lancamento" -j2
  exe=$lancamento/acbr-ponte-$triplo
  cp "$lancamento/acbr-ponte" "$exe"
  local classe_lida ordem_lida maquina_lida
  classe_lida=$(od -An -tu1 -j4 -N1 "$exe" | tr -d ' ')
  ordem_lida=$(od -An -tu1 -j5 -N1 "$exe" | tr -d ' ')
  # The machine is a 16-bit field in the file's own byte order.
  if [ "$ordem_lida" = 2 ]; then
    maquina_lida=$(($(od -An -tu1 -j18 -N1 "$exe") * 256 + $(od -An -tu1 -j19 -N1 "$exe")))
  else
    maquina_lida=$(($(od -An -tu1 -j19 -N1 "$exe") * 256 + $(od -An -tu1 -j18 -N1 "$exe")))
  fi
  if [ "$classe_lida" != "$classe" ] || [ "$ordem_lida" != "$ordem" ] || [ "$maquina_lida" != "$maquina" ]; then
    echo "$exe: ELF class $classe_lida, data $ordem_lida, machine $maquina_lida;" \
      "expected class $classe, data $ordem, machine $maquina" >&2
    return 1
  fi
  (cd "$lancamento" && cpack >/dev/null && ls pacotes/*.tar.gz)
}
