#!/bin/sh
# Closes its input unread, waits half a second and ends with status 4.
PATH=/usr/bin:/bin
exec 0<&-
sleep 0.5
exit 4
