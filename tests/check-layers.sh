#!/usr/bin/env bash
# Fails when a product folder includes a header of a folder above it, or when the modules of
# one folder (a module: name.h with name.cpp, and name_win32.cpp or name_posix.cpp where name.h
# is a seam) include each other in a cycle. The layers, lowest
# first; folders on one line are side by side and may not include each other. The builder
# stands beside the launcher and may use the basics, the setting list and the search-method list
# only.
set -u
cd "$(dirname "$0")/.."
layers=("base" "os" "config output" "unpacking" "java" "service ui" "launcher")
declare -A rank
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do rank[$folder]=$i; done
done
allowed_for_builder=" base builder config/setting_list.h config/search_methods.h "

status=0
for file in $(git ls-files base os config output unpacking java service ui launcher builder | grep -E '\.(cpp|h)$'); do
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

# Inside each folder: module -> the modules of the same folder whose headers it includes.
declare -A uses state
cycles=0
# Depth-first from module $1, the path so far in $2; a module met again on the path closes a
# cycle, which is reported once, from where it starts.
visit() {
    local module=$1 path="$2 $1" next
    state[$module]=open
    for next in ${uses[$module]}; do
        if [ "${state[$next]:-}" = open ]; then
            local cycle=${path#* $next } ; cycle="$next $cycle $next"
            echo "${module%%/*}: the modules include each other in a cycle: ${cycle// / -> }"
            cycles=1
        elif [ -z "${state[$next]:-}" ]; then
            visit "$next" "$path"
        fi
    done
    state[$module]=done
}
for folder in base os config output unpacking java service ui launcher builder; do
    uses=() state=()
    for file in $(git ls-files "$folder" | grep -E '\.(cpp|h)$'); do
        # A seam's platform implementation (name_win32.cpp, name_posix.cpp) is the seam's
        # module: a circle through the seam's header is a circle through it.
        module=${file%.*}
        module=${module%_win32}
        module=${module%_posix}
        uses[$module]+=""
        while IFS= read -r included; do
            target=${included%.h}
            [ "${target%/*}" = "${module%/*}" ] && [ "$target" != "$module" ] &&
                [[ " ${uses[$module]} " != *" $target "* ]] && uses[$module]+=" $target"
        done < <(sed -n 's/^#include "\([^"]*\.h\)".*/\1/p' "$file")
    done
    for module in $(printf '%s\n' "${!uses[@]}" | sort); do
        [ -z "${state[$module]:-}" ] && visit "$module" ""
    done
done
[ $cycles -eq 0 ] && echo "modules: no folder's modules include each other in a cycle"
[ $cycles -eq 0 ] || status=1
exit $status
