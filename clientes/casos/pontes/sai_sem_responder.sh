#!/bin/sh
# Reads its first command and exits with status 0 without answering.
IFS= read -r linha
exit 0
