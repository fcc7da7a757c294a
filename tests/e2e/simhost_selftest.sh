#!/bin/bash
# Checks tools/simhost and the demo bundle's stand-in tools, and that none of
# it leaks onto the real machine. Needs root.
set -euo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND: exit status $?" >&2' ERR

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SIMHOST=$ROOT/tools/simhost
BUNDLE=$ROOT/demo/bundle
TMP=$(mktemp -d /tmp/simhost-selftest.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
# A cache of our own, so the package builds are exercised too.
export XDG_CACHE_HOME=$TMP/cache
export TMPDIR=$TMP/tmp
mkdir -p "$TMPDIR"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect_eq() { # WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1:"$'\n'"expected: $2"$'\n'"got:      $3"
}
sim() { "$SIMHOST" "$@"; }

# What the sandbox must never change on the real machine.
REAL_DBPATH=$(rpm --eval %_dbpath)
real_snapshot() {
    local p
    for p in /etc/corvane-release /etc/lsb-release /etc/rpm /etc/kel-selftest /etc/kel-simhost /var/tmp/kel-selftest \
        /usr/share/halcrest-kel-agent /usr/share/durureveror /usr/share/kel-selftest \
        /var/log/halcrest-kel-agent.log /var/log/kel-selftest.log "$REAL_DBPATH"; do
        if [ -e "$p" ]; then echo "$p present"; else echo "$p absent"; fi
    done
    od -c /proc/sys/kernel/printk
    [ ! -d "$REAL_DBPATH" ] || rpm -qa | sort
    grep -c 'simhost-' /proc/self/mountinfo || true
}
BEFORE=$(real_snapshot)

echo "== platform and kernel packages"
# The probe prints what the installer asks the host about.
probe='
[ -e /etc/corvane-release ] && echo file=yes || echo file=no
o=$(rpm -qf /etc/corvane-release 2>&1); echo "owner_rc=$? $o"
v=$(rpm -qf --qf "%{version}.%{release}" /etc/corvane-release 2>/dev/null); echo "version_rc=$? $v"
k=$(rpm -q --qf "%{version}.%{release}\n" --whatprovides cvkernel); echo "kernels_rc=$?"
echo "kernels=$(echo "$k" | sort | paste -sd,)"
'
# profile words | expected probe output
cases=(
    ""
    "file=yes|owner_rc=0 corvane-release-4.0.0-464.noarch|version_rc=0 4.0.0.464|kernels_rc=0|kernels=2.6.18.028stab060.1"

    "PLATFORM=5.1.2-7|KERNELS=2.6.18-028stab060.1 2.6.32-042stab123.1"
    "file=yes|owner_rc=0 corvane-release-5.1.2-7.noarch|version_rc=0 5.1.2.7|kernels_rc=0|kernels=2.6.18.028stab060.1,2.6.32.042stab123.1"

    "KERNELS="
    "file=yes|owner_rc=0 corvane-release-4.0.0-464.noarch|version_rc=0 4.0.0.464|kernels_rc=1|kernels=no package provides cvkernel"

    "PLATFORM=none"
    "file=no|owner_rc=1 error: file /etc/corvane-release: No such file or directory|version_rc=1 |kernels_rc=0|kernels=2.6.18.028stab060.1"

    "PLATFORM=unowned"
    "file=yes|owner_rc=1 file /etc/corvane-release is not owned by any package|version_rc=1 file /etc/corvane-release is not owned by any package|kernels_rc=0|kernels=2.6.18.028stab060.1"

    "PLATFORM=other:acme-base-release-2.0-1"
    "file=yes|owner_rc=0 acme-base-release-2.0-1.noarch|version_rc=0 2.0.1|kernels_rc=0|kernels=2.6.18.028stab060.1"
)
for ((i = 0; i < ${#cases[@]}; i += 2)); do
    IFS='|' read -ra words <<<"${cases[i]}"
    got=$(sim "${words[@]}" -- sh -c "$probe" 2>&1 | paste -sd'|')
    expect_eq "profile '${cases[i]}'" "${cases[i + 1]}" "$got"
done

echo "== profile file, command-line override"
cat >"$TMP/profile" <<'EOF'
# a host with an old platform
PLATFORM=3.9.1-12
KERNELS="2.6.18-028stab060.1"
RUNNING=2.6.18-028stab060.1
EOF
got=$(sim --profile "$TMP/profile" RUNNING=2.6.32-1 -- sh -c \
    'rpm -qf --qf "%{version}.%{release}" /etc/corvane-release; echo " $(uname -r)"')
expect_eq "profile file" "3.9.1.12 2.6.32-1" "$got"
if sim BOGUS=1 -- true 2>/dev/null; then fail "an unknown setting was accepted"; fi
if sim KERNELS=2.6.18 -- true 2>/dev/null; then fail "a kernel without release was accepted"; fi

echo "== uname shim"
expect_eq "uname -r default" "2.6.32-042stab123.1" "$(sim -- uname -r)"
expect_eq "uname -r through sh" "3.10.0-7" "$(sim RUNNING=3.10.0-7 -- sh -c 'echo "$(uname -r)"')"
expect_eq "uname -m is real" "$(uname -m)" "$(sim -- uname -m)"
expect_eq "uname -s is real" "$(uname -s)" "$(sim -- uname -s)"

echo "== agent, migration library, lsb-release"
got=$(sim AGENT=yes -- cat /usr/share/halcrest-kel-agent/Manifest)
expect_eq "AGENT=yes manifest" "$(cat "$BUNDLE/Manifest")" "$got"
sim -- test ! -e /usr/share/halcrest-kel-agent || fail "AGENT=no still has the agent"
for bits in 64 32; do
    got=$(sim MIGLIB=$bits -- file -L /usr/share/durureveror/durureveror.so.0)
    [[ $got == *"ELF $bits-bit LSB shared object"* ]] || fail "MIGLIB=$bits: $got"
done
sim -- test ! -e /usr/share/durureveror/durureveror.so.0 || fail "MIGLIB=none has the library"
sim LSB_RELEASE=yes -- test -s /etc/lsb-release || fail "LSB_RELEASE=yes lacks /etc/lsb-release"
sim -- test ! -e /etc/lsb-release || fail "LSB_RELEASE=no has /etc/lsb-release"

echo "== printk stand-in"
S=$TMP/printk-state
expect_eq "initial printk" "$(printf '4\t4\t1\t7')" "$(sim --state "$S" -- cat /proc/sys/kernel/printk)"
sim --state "$S" -- sh -c 'echo "3 4 1 7" > /proc/sys/kernel/printk'
expect_eq "printk written inside" "3 4 1 7" "$(cat "$S/printk")"
expect_eq "PRINTK setting" "$(printf '7\t4\t1\t7')" "$(sim PRINTK="7 4 1 7" -- cat /proc/sys/kernel/printk)"

echo "== command status, stdin, temporary state"
set +e
sim -- sh -c 'exit 7'
expect_eq "exit status" 7 $?
sim -- sh -c 'kill -TERM $$'
expect_eq "killed by TERM" 143 $?
sim -- /nonexistent/command 2>/dev/null
expect_eq "missing command" 127 $?
set -e
expect_eq "stdin" "through" "$(echo through | sim -- cat)"
expect_eq "no stdin" "" "$(sim -- cat </dev/null)"
# The overlays exist in the sandbox only, even while it runs.
expect_eq "mounts seen from outside" 0 "$(sim -- sh -c "grep -c simhost- /proc/$$/mountinfo || true")"
state=$(sim -- sh -c 'dirname "$KEL_SIM_STATE"')
[[ $state == "$TMPDIR"/* ]] || fail "temporary state not under TMPDIR: $state"
[ ! -e "$state" ] || fail "temporary state $state left behind"
sim -- sh -c 'echo x > /etc/kel-selftest; mkdir /usr/share/kel-selftest; echo y >> /var/log/kel-selftest.log'

echo "== bundle tools, and a state kept across runs"
S=$TMP/agent-state
run() { sim --state "$S" "$@"; }
opts='--verbose --logfile=/var/log/halcrest-kel-agent.log --progress --define="kversion=$(uname -r)"'
cli="./installer-cli $opts"
export KEL_CLI_DELAY=0 KEL_PM_DELAY=0

out=$(run -- sh -c "cd '$BUNDLE' && $cli    -i Manifest 2>&1")
progress=$(grep '^\[' <<<"$out" | cut -c2-4 | paste -sd,)
expect_eq "installer-cli progress" "  0, 10, 20, 30, 40, 50, 60, 70, 80, 90,100" "$progress"
grep -qv '^\[' <<<"$out" || fail "installer-cli printed no plain log lines"
expect_eq "installer-cli record" \
    "--verbose --logfile=/var/log/halcrest-kel-agent.log --progress --define=kversion=2.6.32-042stab123.1 -i Manifest" \
    "$(cat "$S/tools/installer-cli.calls")"

# Later runs keep the host as set up and as changed, whatever they say.
got=$(run PLATFORM=none AGENT=no -- sh -c "
    cmp /usr/share/halcrest-kel-agent/Manifest '$BUNDLE/Manifest' && echo agent
    rpm -qf --qf '%{version}.%{release}\n' /etc/corvane-release
    grep -c '^installer-cli: --verbose' /var/log/halcrest-kel-agent.log" 2>&1) || true
expect_eq "second run on the same state" "agent|4.0.0.464|1" "$(paste -sd'|' <<<"$got")"

# An upgrade: its first removal fails and changes nothing, the retry works.
export KEL_CLI_EXITS="1 0"
remove="$cli -e --skip-sections config /usr/share/halcrest-kel-agent/Manifest"
set +e
out=$(run -- sh -c "cd '$BUNDLE' && $remove 2>&1")
expect_eq "failing removal status" 1 $?
set -e
[[ $(tail -n1 <<<"$out") == error:* ]] || fail "failing removal ends with: $(tail -n1 <<<"$out")"
run -- test -e /usr/share/halcrest-kel-agent/Manifest || fail "a failed removal removed the agent"
run -- sh -c "cd '$BUNDLE' && $remove >/dev/null"
run -- test ! -e /usr/share/halcrest-kel-agent/Manifest || fail "the removal left the manifest"
run -- sh -c "cd '$BUNDLE' && ./installer-cli --force $opts -i Manifest >/dev/null" # the last entry repeats
run -- test -e /usr/share/halcrest-kel-agent/Manifest || fail "reinstall did not install"
unset KEL_CLI_EXITS
expect_eq "installer-cli calls" 4 "$(wc -l <"$S/tools/installer-cli.calls")"
tail -n1 "$S/tools/installer-cli.calls" | grep -q '^--force --verbose' || fail "--force call not recorded"

got=$(KEL_CLI_LINES='[ 50%] half\nplain\n' KEL_CLI_EXIT=3 run -- sh -c "cd '$BUNDLE' && $cli -i Manifest; echo rc=\$?")
expect_eq "KEL_CLI_LINES" "[ 50%] half|plain|rc=3" "$(paste -sd'|' <<<"$got")"

echo "== pm.sh, check_disk_space.sh, check_selinux.sh"
pm() { run -- sh -c "cd '$BUNDLE' && installer/pm.sh $* ; echo \"rc=\$?\""; }
expect_eq "pm --check default" "m kel-runtime|o kel-extras-doc|rc=0" "$(pm --check corvane4 | paste -sd'|')"
got=$(KEL_PM_CHECK_OUT=$'m kel-base\no kel-doc\n' KEL_PM_CHECK_EXIT=3 pm --check corvane4)
expect_eq "pm --check scenario" "m kel-base|o kel-doc|rc=3" "$(paste -sd'|' <<<"$got")"
expect_eq "pm --check empty" "rc=0" "$(KEL_PM_CHECK_OUT='' pm --check corvane4)"
for want in 1 0 0; do
    got=$(KEL_PM_INSTALL_EXITS="1 0" KEL_PM_INSTALL_OUT=$'m kel-base\n' \
        pm --install corvane4 --logfile /var/log/halcrest-kel-agent.log | paste -sd'|')
    expect_eq "pm --install call" "m kel-base|rc=$want" "$got"
done
expect_eq "pm --install default" "o kel-extras-doc|rc=0" \
    "$(pm --install corvane4 --logfile /var/log/halcrest-kel-agent.log | paste -sd'|')"
expect_eq "pm.sh log lines" 4 "$(run -- grep -c '^pm.sh: .*corvane4' /var/log/halcrest-kel-agent.log)"
expect_eq "pm.sh bad usage" "rc=64" "$(pm --bogus 2>/dev/null)"
grep -q '^--check corvane4$' "$S/tools/pm.sh.calls" || fail "pm.sh calls not recorded"

disk() { run -- sh -c "cd '$BUNDLE' && out=\$(installer/check_disk_space.sh); echo \"\$out rc=\$?\""; }
expect_eq "disk default" " rc=0" "$(disk)"
expect_eq "disk scenario" "need 2 GB rc=2" "$(KEL_DISK_OUT="need 2 GB" KEL_DISK_EXIT=2 disk)"
expect_eq "disk sequence" " rc=2| rc=0| rc=0" "$(for _ in 1 2 3; do KEL_DISK_EXITS="2 0" disk; done | paste -sd'|')"

selinux() { run -- sh -c "cd '$BUNDLE' && installer/check_selinux.sh; echo rc=\$?" | paste -sd' '; }
[[ $(selinux) == *" rc=1" ]] || fail "check_selinux default: $(selinux)"
[[ $(KEL_SELINUX_EXIT=0 selinux) == *" rc=0" ]] || fail "check_selinux enforcing"

echo "== a login's scenario, the host's own /var/tmp, a killed installer"
S=$TMP/login-state
# A session that does not inherit the command's environment (an ssh login)
# takes the scenario from the file simhost leaves on the host.
login_disk="cd '$BUNDLE' && out=\$(installer/check_disk_space.sh); echo \"\$out rc=\$?\""
got=$(KEL_DISK_OUT="it's \"full\"" KEL_DISK_EXIT=2 sim --state "$S" -- env -i PATH=/usr/bin:/bin sh -c "$login_disk")
expect_eq "scenario of a login" "it's \"full\" rc=2" "$got"
[ -s "$S/tools/check_disk_space.sh.calls" ] || fail "a login's tool call was not recorded"
# The environment wins where it is set; a later run leaves no stale scenario.
got=$(KEL_DISK_EXIT=2 sim --state "$S" -- sh -c "cd '$BUNDLE' && KEL_DISK_EXIT=0 installer/check_disk_space.sh; echo rc=\$?")
expect_eq "environment over the file" "rc=0" "$got"
expect_eq "scenario of the last run" " rc=0" "$(sim --state "$S" -- env -i PATH=/usr/bin:/bin sh -c "$login_disk")"

sim --state "$S" -- sh -c 'echo mine > /var/tmp/kel-selftest'
expect_eq "/var/tmp kept with the state" mine "$(sim --state "$S" -- cat /var/tmp/kel-selftest)"
sim -- test ! -e /var/tmp/kel-selftest || fail "another host sees this host's /var/tmp"
expect_eq "/var/tmp mode" 1777 "$(sim -- stat -c %a /var/tmp)"

# The stand-in's parent plays the installer: a process named install.
printf '#!/bin/sh\ncd "$1" && installer/check_disk_space.sh\necho survived\n' >"$TMP/install"
chmod 755 "$TMP/install"
status=0
got=$(KEL_DISK_KILL=TERM sim -- "$TMP/install" "$BUNDLE") || status=$?
expect_eq "KEL_DISK_KILL status" 143 "$status"
expect_eq "KEL_DISK_KILL output" "" "$got"

echo "== the real machine"
expect_eq "real machine after the runs" "$BEFORE" "$(real_snapshot)"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary states left: $(ls "$TMPDIR")"

echo "simhost self-test: all checks passed"
