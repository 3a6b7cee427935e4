#!/bin/sh
# Answers {"ok":true} to every command but one holding "morre", at which it exits with status 7.
while IFS= read -r linha; do
  case "$linha" in *morre*) exit 7 ;; esac
  printf '{"ok":true}\n'
done
