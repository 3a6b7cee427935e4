#!/bin/sh
# Not a bridge: answers every line with what $RESPOSTA names, in one write.
#   lixo   a line that is not JSON
#   lista  a JSON line that is not an object
#   duas   two answer lines for one command
while IFS= read -r linha; do
  case "$RESPOSTA" in
  lixo) printf 'isto não é JSON\n' ;;
  lista) printf '[true]\n' ;;
  duas) printf '{"ok":true,"pid":%s}\n{"ok":true,"pid":%s}\n' $$ $$ ;;
  esac
done
