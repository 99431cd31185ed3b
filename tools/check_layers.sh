#!/usr/bin/env bash
# Fails on an include that runs up the layers: every file of a layer's folder may include only headers of
# the folders the build lets that layer see. The table comes from the build (build/layers.txt): each line
# names a folder, or one file, and the folders it may include.
set -euo pipefail
cd "$(dirname "$0")/.."
table=${1:-build/layers.txt}
if [[ ! -f $table ]]; then
  echo "check_layers: $table not found; configure the build first" >&2
  exit 2
fi

declare -A visible
while IFS= read -r line; do
  [[ $line == \#* || -z $line ]] && continue
  visible[${line%%:*}]=" ${line#*: } "
done <"$table"

faults=0
checked=0
include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)"'
for file in $(git ls-files 'src/*.h' 'src/*.cpp'); do
  path=${file#src/}
  folder=${path%/*}
  if [[ -n ${visible[$path]+set} ]]; then
    allowed=${visible[$path]}
  elif [[ -n ${visible[$folder]+set} ]]; then
    allowed=${visible[$folder]}
  else
    continue
  fi
  checked=$((checked + 1))
  number=0
  while IFS= read -r line; do
    number=$((number + 1))
    [[ $line =~ $include_pattern ]] || continue
    target=${BASH_REMATCH[1]}
    [[ $target == */* && -f src/$target ]] || continue
    [[ $allowed == *" ${target%/*} "* ]] && continue
    echo "$file:$number: includes $target, which lies above $folder" >&2
    faults=$((faults + 1))
  done <"$file"
done

if ((checked == 0)); then
  echo "check_layers: no file checked; is $table empty?" >&2
  exit 2
fi
if ((faults > 0)); then
  echo "check_layers: $faults include(s) run up the layers" >&2
  exit 1
fi
echo "check_layers: $checked files, every include points down the layers"
