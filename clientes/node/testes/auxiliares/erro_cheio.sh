#!/bin/sh
# Writes 1 MiB to standard error, then "fim.", before it becomes the bridge: a host that does not
# read standard error all the time leaves it blocked here. 'ã' is two bytes, so an 8 KiB tail of
# this cuts a character in two.
head -c 524288 /dev/zero | tr '\0' '\n' | sed 's/^$/ã/' | tr -d '\n' >&2
printf 'fim.\n' >&2
exec "$ACBR_PONTE_REAL"
