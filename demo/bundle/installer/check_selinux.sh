#!/bin/sh
# Demo stand-in: is SELinux enforcing? Exit 0 yes, 1 no.
# Scenario: KEL_SELINUX_EXIT (default 1, no SELinux).
. "$(dirname "$0")/scenario.sh"
code=${KEL_SELINUX_EXIT:-1}
if [ "$code" = 0 ]; then
    echo "SELinux is enabled"
else
    echo "SELinux is disabled"
fi
exit "$code"
