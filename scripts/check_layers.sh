#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a library that stands
# above its own. The order is written once, here, bottom to top; folders on
# one line are peers and include neither each other.
#
# usage: scripts/check_layers.sh [SRC_DIR]
set -euo pipefail

LAYERS=(
  "kit/foundation"
  "kit/security"
  "kit/net"
  "kit/ui"
  "kit/gtk pac"
  "json settings"
  "common"
  "http"
  "data downloads"
  "share"
  "shell"
  "app"
)

src=${1:-"$(cd "$(dirname "$0")/.." && pwd)/src"}
declare -A level
for i in "${!LAYERS[@]}"; do
  for lib in ${LAYERS[$i]}; do level[$lib]=$i; done
done

# Sets `lib` to the library a path below src/ belongs to: kit's folders are
# libraries each.
library_of() {
  if [[ $1 == kit/* ]]; then
    lib=${1#kit/}
    lib=kit/${lib%%/*}
  else
    lib=${1%%/*}
  fi
}

status=0
# Every library folder has its place in the order.
for dir in "$src"/*/ "$src"/kit/*/; do
  library_of "${dir#"$src"/}"
  if [[ $lib != kit/ && -z ${level[$lib]+set} ]]; then
    echo "src/$lib is not in the layer order of $0"
    status=1
  fi
done

include='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)"'
while IFS= read -r row; do
  rel=${row#"$src"/}
  file=${rel%%:*}
  rest=${rel#*:}
  number=${rest%%:*}
  [[ ${rest#*:} =~ $include ]] || continue
  header=${BASH_REMATCH[1]}
  library_of "$file"
  own=$lib
  library_of "$header"
  # A quoted header outside our libraries (a generated one) is not checked.
  [[ -z ${level[$own]+set} || -z ${level[$lib]+set} || $lib == "$own" ]] && continue
  if (( level[$lib] >= level[$own] )); then
    echo "src/$file:$number includes $header: src/$lib is not below src/$own"
    status=1
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src")

exit $status
