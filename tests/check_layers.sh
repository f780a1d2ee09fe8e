#!/usr/bin/env bash
# Fails when a file under src/ includes from a floor above its own: the floors are
#   core -> calendar -> store -> ui -> dialogs -> app
# and the command-line tools stand on core, calendar and store.
set -u
cd "$(dirname "$0")/../src" || exit 2

declare -A allowed=(
    [core]="core"
    [calendar]="core calendar"
    [store]="core calendar store"
    [ui]="core calendar store ui"
    [dialogs]="core calendar store ui dialogs"
    [app]="core calendar store ui dialogs app"
    [agenda]="core calendar store agenda"
    [ics]="core calendar store ics"
    [remind]="core calendar store remind"
)

status=0
for dir in */; do
    floor=${dir%/}
    if [ -z "${allowed[$floor]+set}" ]; then
        echo "src/$floor is on no floor: add it to tests/check_layers.sh"
        status=1
        continue
    fi
    while IFS=: read -r file line target; do
        if [[ " ${allowed[$floor]} " != *" $target "* ]]; then
            echo "src/$file:$line includes from $target/, a floor above $floor/"
            status=1
        fi
    done < <(grep -rnoE '^#include "[a-z_]+/' "$floor" | sed -E 's/#include "([a-z_]+)\/$/\1/')
done
exit $status
