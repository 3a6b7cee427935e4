#!/bin/sh
# Writes 1 MiB to standard error before it answers: a client that does not read standard error
# all the time leaves it blocked here.
PATH=/usr/bin:/bin
head -c 1048576 /dev/zero | tr '\0' 'x' >&2
while IFS= read -r linha; do printf '{"ok":true,"nome":"depois do stderr","versao":"simulada"}\n'; done
