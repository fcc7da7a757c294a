#!/bin/bash
# Brings up three simulated hosts (no agent, an older agent, the current
# agent), each with its own sshd on 127.0.0.1, rolls the agent out to them
# with the example playbook deploy/ansible/site.yml, shows the play recap and
# where the hosts' logs went, and stops the hosts again.
# Extra arguments go to ansible-playbook (--check, -e kelvarin_state=absent).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)" --target kel_install >/dev/null

logs=$PWD/build/fleet-demo/logs
mkdir -p "$logs"
top=$(mktemp -d "${TMPDIR:-/tmp}/kel-fleet-demo.XXXXXX")
cleanup() {
    tools/simfleet stop "$top/fleet"
    rm -rf "$top"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "Starting three demo hosts..."
tools/simfleet init "$top/fleet"
fast=(KEL_CLI_DELAY=1 KEL_PM_DELAY=1)
pids=()
tools/simfleet start "$top/fleet" ct-host-01 "${fast[@]}" &
pids+=($!)
tools/simfleet start "$top/fleet" ct-host-02 AGENT=yes "${fast[@]}" \
    --setup "sed -i 's/^version .*/version 3.1.4-2/' /usr/share/halcrest-kel-agent/Manifest" &
pids+=($!)
tools/simfleet start "$top/fleet" ct-host-03 AGENT=yes "${fast[@]}" &
pids+=($!)
for pid in "${pids[@]}"; do wait "$pid"; done

{
    # The role's controller tasks keep their temp in the demo's folder.
    echo "localhost ansible_connection=local ansible_python_interpreter='{{ ansible_playbook_python }}' ansible_remote_tmp=$top/local-tmp"
    tools/simfleet inventory "$top/fleet"
    # The demo logs in as root; su stands in for the become a real fleet uses.
    echo "ansible_become_method=su"
    echo
    echo "[kelvarin_hosts:children]"
    echo "simfleet"
} >"$top/hosts.ini"

export ANSIBLE_HOME=$top/ansible-home ANSIBLE_SSH_CONTROL_PATH_DIR=$top/cp
export ANSIBLE_PIPELINING=true ANSIBLE_FORKS=10
export ANSIBLE_SSH_ARGS='-o ControlMaster=auto -o ControlPersist=60s'

echo "Rolling out: ansible-playbook -i <demo hosts> deploy/ansible/site.yml -e kelvarin_bundle=build/bundle $*"
set +e
ansible-playbook -i "$top/hosts.ini" deploy/ansible/site.yml \
    -e "kelvarin_bundle=$PWD/build/bundle" -e "kelvarin_log_dir=$logs" "$@"
status=$?
set -e
echo "ansible-playbook exit code: $status"
echo "Installer logs fetched from the hosts: $logs/"
ls -l "$logs"
exit "$status"
