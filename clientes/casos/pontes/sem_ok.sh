#!/bin/sh
# Not a bridge: answers every command with an object that has no boolean `ok`.
while IFS= read -r linha; do printf '{"nome":"x"}\n'; done
