#!/bin/sh
# At its first command, starts a process that keeps the output pipes open for a minute, writes
# that process id to standard error and ends with status 5 without answering.
PATH=/usr/bin:/bin
IFS= read -r linha
sleep 60 &
echo $! >&2
exit 5
