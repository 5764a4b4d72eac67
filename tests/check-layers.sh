#!/usr/bin/env bash
# Fails when a product folder includes a header of a folder above it. The layers, lowest
# first; folders on one line are side by side and may not include each other. The builder
# stands beside the launcher and may use the basics, the setting list and the search-method list
# only.
set -u
cd "$(dirname "$0")/.."
layers=("base" "os" "config" "java" "service ui" "launcher")
declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do rank[$folder]=$i; done
done
allowed_for_builder=" base builder config/setting_list.h config/search_methods.h "

status=0
for file in $(git ls-files base os config java service ui launcher builder | grep -E '\.(cpp|h)$'); do
    folder=${file%%/*}
    while IFS= read -r included; do
        target=${included%%/*}
        if [ "$folder" = builder ]; then
            [[ "$allowed_for_builder" == *" $target "* || "$allowed_for_builder" == *" $included "* ]] && continue
        elif [ -n "${rank[$target]+x}" ] && { [ "$target" = "$folder" ] || [ "${rank[$target]}" -lt "${rank[$folder]}" ]; }; then
            continue
        fi
        echo "$file includes \"$included\": $target is not below $folder"
        status=1
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done
[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
