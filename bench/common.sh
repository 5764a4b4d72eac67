# What every benchmark script shares: the Wine prefix and two helpers. Sourced from the
# project's root folder.
source scripts/wine-env.sh
wine_prefix_up

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

# The least of the numbers given: the run that met the least interference.
least() { printf '%s\n' "$@" | sort -n | head -n 1; }

# The current time in microseconds.
now_us() { echo $(( $(date +%s%N) / 1000 )); }
