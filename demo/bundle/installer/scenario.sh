# Shared by the demo stand-in tools (sourced, POSIX sh): what a scenario asks
# of them, and the records tests read back.

# Appends this call's arguments to $KEL_SIM_STATE/<tool>.calls.
record_call() {
    tool=$1
    shift
    if [ -n "${KEL_SIM_STATE:-}" ]; then
        mkdir -p "$KEL_SIM_STATE"
        echo "$*" >>"$KEL_SIM_STATE/$tool.calls"
    fi
}

# Entry of list $1 for this call, counted in $KEL_SIM_STATE/$2.count; the
# last entry repeats once the list is used up.
next_in_seq() {
    n=0
    if [ -n "${KEL_SIM_STATE:-}" ]; then
        mkdir -p "$KEL_SIM_STATE"
        [ -f "$KEL_SIM_STATE/$2.count" ] && n=$(cat "$KEL_SIM_STATE/$2.count")
        echo $((n + 1)) >"$KEL_SIM_STATE/$2.count"
    fi
    set -f
    set -- $1
    set +f
    [ $# -gt 0 ] || { echo 0; return; }
    [ "$n" -lt $# ] || n=$(($# - 1))
    shift "$n"
    echo "$1"
}
