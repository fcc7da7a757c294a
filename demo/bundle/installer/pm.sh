#!/bin/sh
# Demo stand-in for the bundle's package step.
#   pm.sh --check CODENAME                 list the packages still needed
#   pm.sh --install CODENAME --logfile LOG install them
# Lines of the lists are "m NAME" (mandatory) or "o NAME" (optional).
#
# Scenario (environment, all optional):
#   KEL_PM_CHECK_OUT      --check output
#                         (default "m kel-runtime\no kel-extras-doc\n")
#   KEL_PM_CHECK_EXIT     --check exit status   (default 0)
#   KEL_PM_INSTALL_OUT    --install output      (default "o kel-extras-doc\n")
#   KEL_PM_INSTALL_EXITS  --install exit statuses, one per call, the last
#                         one repeating         (default "0")
#   KEL_PM_BUSY_OUT       --install output of a call that exits with 123
#                         (default: as KEL_PM_INSTALL_OUT)
#   KEL_PM_DELAY          seconds --install takes (default 2)
#   KEL_PM_CHECK_OUT_FILE, KEL_PM_INSTALL_OUT_FILE
#                         a file whose bytes are the --check or --install
#                         output instead (for long or binary output)
# Calls are recorded in $KEL_SIM_STATE/pm.sh.calls.


. "$(dirname "$0")/scenario.sh"
record_call pm.sh "$@"

case "$1 $#" in
"--check 2")
    if [ -n "${KEL_PM_CHECK_OUT_FILE:-}" ]; then
        cat -- "$KEL_PM_CHECK_OUT_FILE"
    elif [ -n "${KEL_PM_CHECK_OUT+set}" ]; then
        printf '%s' "$KEL_PM_CHECK_OUT"
    else
        printf 'm kel-runtime\no kel-extras-doc\n'
    fi
    exit "${KEL_PM_CHECK_EXIT:-0}"
    ;;
"--install 4")
    [ "$3" = --logfile ] || { echo "usage: $0 --install CODENAME --logfile LOG" >&2; exit 64; }
    code=$(next_in_seq "${KEL_PM_INSTALL_EXITS:-0}" pm-install)
    echo "pm.sh: installing the required packages for $2 (exit $code)" >>"$4"
    [ "${KEL_PM_DELAY:-2}" = 0 ] || sleep "${KEL_PM_DELAY:-2}"
    if [ -n "${KEL_PM_INSTALL_OUT_FILE:-}" ]; then
        cat -- "$KEL_PM_INSTALL_OUT_FILE"
    elif [ "$code" = 123 ] && [ -n "${KEL_PM_BUSY_OUT+set}" ]; then
        printf '%s' "$KEL_PM_BUSY_OUT"
    elif [ -n "${KEL_PM_INSTALL_OUT+set}" ]; then
        printf '%s' "$KEL_PM_INSTALL_OUT"
    else
        printf 'o kel-extras-doc\n'
    fi
    exit "$code"
    ;;
*)
    echo "usage: $0 --check CODENAME | --install CODENAME --logfile LOG" >&2
    exit 64
    ;;
esac
