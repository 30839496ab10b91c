#!/usr/bin/env bash
# Every folder under src/ is one library and one layer: its files include only from their own
# folder and the folders below it. Prints each include that runs upwards; fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

declare -A below=(
  [common]=""
  [platform]="common"
  [net]="common platform"
  [media]="common platform net"
  [audio]="common platform net media"
  [protocol]="common platform net media audio"
  [record]="common platform net media"
  [session]="common platform net media audio protocol"
  [display]="common platform net media audio record"
  [control]="common platform net media audio protocol session record display"
  [script]="common platform net media audio protocol session record display control"
)

status=0
for folder in */; do
  folder=${folder%/}
  if [[ ! -v below[$folder] ]]; then
    echo "check-layers: src/$folder has no place in the layer order" >&2
    status=1
    continue
  fi
  allowed=" $folder ${below[$folder]} "
  while IFS=: read -r file line include; do
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$include")
    if [[ "$allowed" != *" $target "* ]]; then
      echo "check-layers: src/$file:$line includes from $target/, a layer above $folder/" >&2
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z]+/' "$folder" || true)
done
exit $status
