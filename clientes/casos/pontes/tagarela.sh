#!/bin/sh
# Writes 1 MiB of two-byte characters and one more to standard error (so a tail of 8192 bytes
# begins inside a character), then "fim do rabo", and ends with status 3 at its first command.
PATH=/usr/bin:/bin
{ head -c 524289 /dev/zero | tr '\0' '\n' | sed 's/^$/ã/' | tr -d '\n'; printf '\nfim do rabo\n'; } >&2
IFS= read -r linha
exit 3
