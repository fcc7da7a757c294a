#!/usr/bin/env python3
"""Fleet rollout: the kelvarin_agent role, run by ansible-playbook over ssh
against simulated hosts at once, each a tools/simhost with its own sshd.

Runs, in order: check mode (nothing may change), a first rollout, the same
rollout again (nothing may change), and a removal. Each host's outcome is
read from Ansible's JSON output (tests/fleet/callback_plugins/fleet_json.py)
and from the host's own state: the stand-in tools' call records, the agent's
manifest and the installer's log. Every sshd is stopped at the end, also
when a check fails or the test is interrupted.

Usage: fleet_test.py [--bundle DIR] [--keep]
  --bundle  the built bundle (default build/bundle)
  --keep    leave the fleet's folder (keys, states, logs) for a look
"""

import argparse
import hashlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tarfile
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIMFLEET = os.path.join(REPO, "tools", "simfleet")
ROLES = os.path.join(REPO, "deploy", "ansible", "roles")
PACK = os.path.join(ROLES, "kelvarin_agent", "files", "pack_bundle.py")
PLAYBOOK = os.path.join(REPO, "tests", "fleet", "fleet.yml")
CALLBACKS = os.path.join(REPO, "tests", "fleet", "callback_plugins")

AGENT_MANIFEST = "halcrest-kel-agent/Manifest"  # under the host's /usr/share
LOG = "halcrest-kel-agent.log"  # under the host's /var/log
DISK_TEXT = "Not enough space in /usr: 10 MB free, 200 MB needed"
KERNEL_TEXT = "The currently loaded kernel is not supported by the Corvane agent."

# Host name -> simfleet start words. Every tool answers at once.
FAST = ["KEL_CLI_DELAY=0", "KEL_PM_DELAY=0"]
HOSTS = {
    "fresh": [],
    "same": ["AGENT=yes"],
    "older": ["AGENT=yes", "--setup",
              "sed -i 's/^version .*/version 3.1.4-2/' /usr/share/halcrest-kel-agent/Manifest"],
    "oldkernel": ["RUNNING=2.6.18-028stab001.1"],
    "nospace": ["KEL_DISK_EXIT=2", "KEL_DISK_OUT=" + DISK_TEXT],
    "killed": ["KEL_DISK_KILL=TERM"],
    # Logs in without become: the installer's root check answers.
    "notroot": ["--setup", "useradd -M -d /var/tmp/kelop -s /bin/sh -p '*' kelop"
                " && mkdir -p /var/tmp/kelop && chown kelop: /var/tmp/kelop"],
}
INSTALLED_AFTER_ROLLOUT = {"fresh", "same", "older"}


class Failed(Exception):
    pass


failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print(f"  FAIL: {what}", flush=True)
    return cond


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, text=True, **kw)


def sha1(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return None


class Fleet:
    def __init__(self, top):
        self.top = top
        self.dir = os.path.join(top, "fleet")
        self.logs = os.path.join(top, "logs")
        self.ctl_tmp = os.path.join(top, "controller-tmp")
        os.makedirs(self.ctl_tmp)
        self.starting = {}

    def state(self, host, *rel):
        return os.path.join(self.dir, host, "state", *rel)

    def manifest(self, host):
        return read(self.state(host, "upper", "usr-share", AGENT_MANIFEST))

    def host_log(self, host):
        return read(self.state(host, "upper", "var-log", LOG))

    def calls(self, host, tool="installer-cli"):
        text = read(self.state(host, "tools", tool + ".calls"))
        return text.splitlines() if text else []

    def snapshot(self, host):
        """What a run of the installer or its tools would change on a host."""
        tools = self.state(host, "tools")
        records = {}
        if os.path.isdir(tools):
            for name in sorted(os.listdir(tools)):
                records[name] = read(os.path.join(tools, name))
        return {
            "manifest": self.manifest(host),
            "log": self.host_log(host),
            "records": records,
            "bundle left": os.path.exists(self.state(host, "var-tmp", "kelvarin-bundle")),
        }

    def start(self):
        run([SIMFLEET, "init", self.dir])
        self.starting = {h: subprocess.Popen([SIMFLEET, "start", self.dir, h] + FAST + words)
                         for h, words in HOSTS.items()}
        bad = [h for h, p in self.starting.items() if p.wait() != 0]
        if bad:
            raise Failed(f"hosts did not come up: {', '.join(bad)}")
        inventory = run([SIMFLEET, "inventory", self.dir], capture_output=True).stdout
        self.inventory = os.path.join(self.top, "hosts.ini")
        with open(self.inventory, "w") as f:
            # The role's controller tasks: their temp goes here, not under ~/.ansible.
            f.write("localhost ansible_connection=local ansible_python_interpreter='{{ ansible_playbook_python }}'"
                    f" ansible_remote_tmp={self.top}/controller-remote-tmp\n\n")
            f.write(inventory)
        self.host_vars = os.path.join(self.top, "host_vars")
        os.makedirs(self.host_vars)
        self.set_host_vars("notroot", "ansible_user: kelop\n")
        with open(os.path.join(self.top, "ansible.cfg"), "w") as f:
            f.write("[defaults]\n"
                    "forks = 10\n"
                    "gathering = explicit\n"
                    f"roles_path = {ROLES}\n"
                    "nocolor = true\n"
                    "deprecation_warnings = false\n"
                    # The default polls in a busy loop, which slows the forks on a small machine.
                    "internal_poll_interval = 0.02\n"
                    "[ssh_connection]\n"
                    "pipelining = true\n"
                    "ssh_args = -o ControlMaster=auto -o ControlPersist=60s\n"
                    f"control_path_dir = {self.top}/cp\n")

    def set_host_vars(self, host, text):
        path = os.path.join(self.host_vars, host + ".yml")
        if text is None:
            os.unlink(path)
        else:
            with open(path, "w") as f:
                f.write(text)

    def stop(self):
        # A start cut short by an interruption stops what it started.
        for p in self.starting.values():
            if p.poll() is None:
                p.terminate()
                p.wait()
        subprocess.run([SIMFLEET, "stop", self.dir])

    def playbook(self, bundle, *extra, expect_rc):
        env = dict(os.environ,
                   ANSIBLE_CONFIG=os.path.join(self.top, "ansible.cfg"),
                   ANSIBLE_HOME=os.path.join(self.top, "ansible-home"),
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.top, "ansible-home", "tmp"),
                   ANSIBLE_CALLBACK_PLUGINS=CALLBACKS,
                   ANSIBLE_STDOUT_CALLBACK="fleet_json",
                   TMPDIR=self.ctl_tmp)
        cmd = ["ansible-playbook", "-i", self.inventory, PLAYBOOK,
               "-e", "kelvarin_bundle=" + bundle, "-e", "kelvarin_log_dir=" + self.logs, *extra]
        start = time.monotonic()
        p = subprocess.run(cmd, env=env, capture_output=True, text=True)
        took = time.monotonic() - start
        try:
            doc = json.loads(p.stdout[p.stdout.index("{"):])
        except ValueError:
            sys.stderr.write(p.stdout + p.stderr)
            raise Failed(f"ansible-playbook {' '.join(extra)}: no JSON output (exit {p.returncode})")
        if not check(p.returncode == expect_rc, f"ansible-playbook exit {p.returncode}, expected {expect_rc}"):
            sys.stderr.write(p.stderr[-4000:])
        return Run(doc, took)


class Run:
    def __init__(self, doc, took):
        self.doc = doc
        self.took = took
        self.stats = doc["stats"]

    def results(self, host):
        for play in self.doc["plays"]:
            for task in play["tasks"]:
                if host in task["hosts"]:
                    yield task["task"], task["hosts"][host]

    def task(self, host, name):
        found = [r for t, r in self.results(host) if t.endswith(name)]
        return found[-1] if found else {}

    def failure(self, host):
        """The message of the host's failure, with the standard error of a failed command."""
        msgs = [r.get("msg", "") + ("\n" + r["stderr"] if r.get("stderr") else "")
                for t, r in self.results(host) if r["status"] == "failed"]
        return msgs[-1] if msgs else None

    def result(self, host):
        facts = self.task(host, "Record the result").get("ansible_facts", {})
        return facts.get("kelvarin_result")

    def said(self, host):
        return self.task(host, "Say what is to be done").get("msg")

    def recap(self, title):
        slow = sorted(((t.get("seconds", 0), t["task"]) for p in self.doc["plays"] for t in p["tasks"]), reverse=True)
        print(f"  {title}: {self.took:.1f}s; slowest tasks: "
              + ", ".join(f"{name.split(' : ')[-1]} {sec:.1f}s" for sec, name in slow[:3]))
        print(f"  {title}: PLAY RECAP")
        for h, s in sorted(self.stats.items()):
            print(f"    {h:<10} : ok={s['ok']:<3} changed={s['changed']:<3} unreachable={s['unreachable']:<3} "
                  f"failed={s['failures']:<3} skipped={s['skipped']:<3} rescued={s['rescued']:<3} "
                  f"ignored={s['ignored']}")


def bad_modes_archive(bundle, top):
    """The bundle as a .tar.gz inside one folder, every member writable by all."""
    path = os.path.join(top, "kelvarin-bundle.tar.gz")
    with tarfile.open(path, "w:gz") as out:
        def loosen(info):
            info.mode |= 0o777 if info.isdir() else 0o666
            info.uid, info.uname = 4321, "someone"
            return info
        out.add(bundle, "kelvarin-1.0", filter=loosen)
    return path


def check_packing(bundle, top):
    print("== packing the bundle on the controller", flush=True)
    loose = bad_modes_archive(bundle, top)
    for source in (bundle, loose):
        p = subprocess.run([sys.executable, PACK, source], capture_output=True, text=True,
                           env=dict(os.environ, TMPDIR=top))
        if not check(p.returncode == 0, f"pack {source}: exit {p.returncode}: {p.stderr}"):
            continue
        out = json.loads(p.stdout)
        check(out["manifest_sha1"] == sha1(os.path.join(bundle, "Manifest")), f"pack {source}: Manifest digest")
        with tarfile.open(out["tarball"]) as t:
            members = {m.name: m for m in t.getmembers()}
        check("installer/install" in members and "Manifest" in members,
              f"pack {source}: bundle root at the top: {sorted(members)[:5]}")
        loose_members = [n for n, m in members.items() if m.mode & 0o022 or m.uid or m.gid]
        check(not loose_members, f"pack {source}: writable by others or not root's: {loose_members}")
        check(members["installer/install"].mode == 0o755 and members["Manifest"].mode == 0o644,
              f"pack {source}: modes {oct(members['installer/install'].mode)} {oct(members['Manifest'].mode)}")
        shutil.rmtree(out["tmp"])

    # Bundles the role must refuse, with the reason in the message.
    notabundle = os.path.join(top, "notabundle")
    os.makedirs(os.path.join(notabundle, "installer"))
    evil = os.path.join(top, "evil.tar.gz")
    with tarfile.open(evil, "w:gz") as out:
        for name in ("b/installer/install", "b/Manifest", "b/../../escape"):
            info = tarfile.TarInfo(name)
            out.addfile(info, io.BytesIO(b""))
    plain = os.path.join(top, "plain.txt")
    with open(plain, "w") as f:
        f.write("x\n")
    for source, reason in ((notabundle, "it has no installer/install"),
                           (os.path.join(top, "missing"), "no such bundle"),
                           (evil, "unsafe member name"),
                           (plain, "neither a bundle folder nor a .tar.gz")):
        p = subprocess.run([sys.executable, PACK, source], capture_output=True, text=True,
                           env=dict(os.environ, TMPDIR=top))
        check(p.returncode == 1 and reason in p.stderr, f"pack {source}: exit {p.returncode}, {p.stderr.strip()!r}")
    left = [n for n in os.listdir(top) if n.startswith("kelvarin-pack.")]  # TMPDIR of the packing
    check(not left, f"packing left temporary folders: {left}")
    return loose


def check_nothing_changed(fleet, before, when, hosts=HOSTS):
    for h in hosts:
        after = fleet.snapshot(h)
        check(after == before[h], f"{when}: {h} changed: {before[h]} -> {after}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bundle", default=os.path.join(REPO, "build", "bundle"))
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    bundle = os.path.abspath(args.bundle)
    if not os.access(os.path.join(bundle, "installer", "install"), os.X_OK):
        print(f"fleet: no built installer in {bundle}", file=sys.stderr)
        return 2

    def interrupted(sig, frame):
        raise Failed(f"interrupted by signal {sig}")
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, interrupted)

    started = time.monotonic()
    top = tempfile.mkdtemp(prefix="kel-fleet.")
    fleet = Fleet(top)
    try:
        packing = os.path.join(top, "packing")
        os.makedirs(packing)
        loose = check_packing(bundle, packing)
        print("== bringing up the hosts", flush=True)
        up = time.monotonic()
        fleet.start()
        print(f"  {len(HOSTS)} hosts up in {time.monotonic() - up:.1f}s", flush=True)
        bundle_manifest = read(os.path.join(bundle, "Manifest"))
        before = {h: fleet.snapshot(h) for h in HOSTS}
        check(fleet.manifest("older") not in (None, bundle_manifest), "the older host has an older agent")

        print("== check mode: what each host would get", flush=True)
        # Two hosts are asked for removal, to hear all four answers; one
        # gets a state the role does not know.
        states = {"same": "absent", "oldkernel": "absent", "killed": "latest"}
        for h, state in states.items():
            fleet.set_host_vars(h, f"kelvarin_state: {state}\n")
        r = fleet.playbook(bundle, "--check", expect_rc=2)
        for h in states:
            fleet.set_host_vars(h, None)
        r.recap("check mode")
        expect = {"fresh": "would install: the agent is not installed",
                  "same": "would remove: the agent is installed",
                  "older": "would upgrade: the installed Manifest differs from the bundle's",
                  "oldkernel": "would leave alone: the agent is not installed",
                  "killed": "kelvarin_state must be present or absent, not 'latest'"}
        for h in HOSTS:
            said = expect.get(h, "would install: the agent is not installed")
            check(r.said(h) == said, f"check mode: {h} said {r.said(h)!r}, expected {said!r}")
            s = r.stats[h]
            check(s["failures"] == (h == "killed") and s["unreachable"] == 0, f"check mode: {h} failed: {r.failure(h)}")
            check(s["changed"] == (0 if h in ("oldkernel", "killed") else 1), f"check mode: {h} changed={s['changed']}")
        check_nothing_changed(fleet, before, "check mode")
        check(not os.path.exists(fleet.logs), "check mode fetched logs")

        print("== first rollout (the bundle as a .tar.gz, loose modes)", flush=True)
        # What an interrupted run left on one host: replaced.
        stale = fleet.state("fresh", "var-tmp", "kelvarin-bundle")
        os.makedirs(os.path.join(stale, "installer"))
        for name in (".kelvarin-agent-role", "installer/install"):
            with open(os.path.join(stale, name), "w") as f:
                f.write("#!/bin/sh\nexit 99\n")
        r = fleet.playbook(loose, expect_rc=2)
        r.recap("first rollout")
        fails = {h: r.failure(h) for h in HOSTS}
        for h in HOSTS:
            check(r.stats[h]["unreachable"] == 0, f"first rollout: {h} unreachable")
            check(not os.path.exists(fleet.state(h, "var-tmp", "kelvarin-bundle")),
                  f"first rollout: {h} keeps the bundle folder")
        # name: action, rc, changed, installer-cli calls
        table = {
            "fresh": ("install", 0, True, ["-i Manifest"]),
            "same": ("none", None, False, []),
            "older": ("upgrade", 0, True, ["-e --skip-sections config /usr/share/halcrest-kel-agent/Manifest",
                                           "-i Manifest"]),
            "oldkernel": ("install", 1, False, []),
            "nospace": ("install", 10, False, []),
            "killed": ("install", -15, False, []),
            "notroot": ("install", 2, False, []),
        }
        for h, (action, rc, changed, cli) in table.items():
            res = r.result(h) or {}
            check(res.get("action") == action and res.get("rc") == rc,
                  f"first rollout: {h} kelvarin_result {res}, expected action {action} rc {rc}")
            check((r.stats[h]["changed"] > 0) == changed, f"first rollout: {h} changed={r.stats[h]['changed']}")
            check((r.stats[h]["failures"] > 0) == (rc not in (0, None)),
                  f"first rollout: {h} failures={r.stats[h]['failures']}: {fails[h]}")
            calls = fleet.calls(h)
            check(len(calls) == len(cli) and all(c in call for c, call in zip(cli, calls)),
                  f"first rollout: {h} installer-cli calls {calls}, expected {cli}")
            if rc == 0:
                check(fleet.manifest(h) == bundle_manifest, f"first rollout: {h} agent is not the bundle's")
        check(fleet.manifest("same") == bundle_manifest, "first rollout: same lost its agent")
        check(r.said("same") == "nothing to do: the installed Manifest equals the bundle's",
              f"first rollout: same said {r.said('same')!r}")
        check(fleet.host_log("same") is None, "first rollout: the installer ran on same")
        for h in ("oldkernel", "nospace", "killed", "notroot"):
            check(fleet.manifest(h) is None, f"first rollout: {h} has an agent after a failure")

        # What an operator reads for each failure.
        f = fails["oldkernel"] or ""
        check(f.startswith("kelvarin: installing failed, installer exit 1: Installation can not be continued.")
              and KERNEL_TEXT in f and "Last lines of /var/log/halcrest-kel-agent.log on the host:" in f
              and f.rstrip().endswith("Exiting with code 1"), f"oldkernel message: {f!r}")
        f = fails["nospace"] or ""
        check(f == "kelvarin: installing stopped, installer exit 10 (too little disk space, or a question"
              f" declined): {DISK_TEXT}", f"nospace message: {f!r}")
        f = fails["killed"] or ""
        check(f.startswith("kelvarin: installing: the installer was killed by signal SIGTERM (15)")
              and "Interrupted while running: ./installer/check_disk_space.sh" in f
              and f.rstrip().endswith("Exiting with code 143"), f"killed message: {f!r}")
        f = fails["notroot"] or ""
        check(f.startswith("kelvarin: the installer refused to run, exit 2 (a wrong invocation, or not run as"
                           " root: use become):") and "can be run only as root" in f, f"notroot message: {f!r}")
        for h, text in fails.items():
            if text:
                print(f"  {h}: {text!r}")

        # Every log the installer wrote arrived, also from the hosts that failed.
        for h, (action, rc, changed, cli) in table.items():
            fetched = read(os.path.join(fleet.logs, h + ".log"))
            res = r.result(h) or {}
            if h in ("same", "notroot"):  # never ran / refused before its log
                check(fetched is None and fleet.host_log(h) is None and res.get("log") == "",
                      f"first rollout: {h} has a log: {res}")
            else:
                check(fetched is not None and fetched == fleet.host_log(h) and "Installer started." in fetched,
                      f"first rollout: {h} log not fetched whole")
                check(res.get("log") == os.path.join(fleet.logs, h + ".log"), f"first rollout: {h} log {res}")
                # The role never starts the installer without --install or --remove.
                check(fetched.count("Installer started.") == fetched.count("Unattended install mode."),
                      f"first rollout: an interactive run on {h}")
        check(os.listdir(fleet.ctl_tmp) == [], f"controller temp left: {os.listdir(fleet.ctl_tmp)}")

        print("== the same rollout again (the bundle folder)", flush=True)
        # A folder the role did not make, where it would unpack: left alone.
        foreign = fleet.state("nospace", "var-tmp", "kelvarin-bundle")
        os.makedirs(foreign)
        with open(os.path.join(foreign, "precious"), "w") as f:
            f.write("keep\n")
        before = {h: fleet.snapshot(h) for h in HOSTS}
        r = fleet.playbook(bundle, expect_rc=2)
        r.recap("second rollout")
        f = r.failure("nospace") or ""
        check("kelvarin: /var/tmp/kelvarin-bundle exists on the host and was not unpacked by this role" in f,
              f"second rollout: nospace message {f!r}")
        check(read(os.path.join(foreign, "precious")) == "keep\n", "second rollout: the foreign folder was touched")
        shutil.rmtree(foreign)
        for h in HOSTS:
            s = r.stats[h]
            check(s["changed"] == 0, f"second rollout: {h} changed={s['changed']}")
            up_to_date = h in INSTALLED_AFTER_ROLLOUT
            check((s["failures"] == 0) == up_to_date, f"second rollout: {h} failures={s['failures']}")
            res = r.result(h) or {}
            check(res.get("action") == ("none" if up_to_date else "install"), f"second rollout: {h} {res}")
            if up_to_date:
                check(fleet.snapshot(h) == before[h], f"second rollout: the installer ran on {h}")
            elif h != "nospace":  # refused the foreign folder, above
                check(r.failure(h) is not None and r.failure(h).split(":")[:2] == fails[h].split(":")[:2],
                      f"second rollout: {h} failed otherwise: {r.failure(h)!r}")

        # Hosts with and without the agent; the others would answer alike.
        removal_hosts = ["fresh", "same", "older", "oldkernel", "notroot"]
        print(f"== removal on {', '.join(removal_hosts)}", flush=True)
        before = {h: fleet.snapshot(h) for h in HOSTS}
        r = fleet.playbook(bundle, "-e", "kelvarin_state=absent", "--limit", ",".join(removal_hosts), expect_rc=0)
        r.recap("removal")
        check(sorted(r.stats) == sorted(removal_hosts), f"removal ran on {sorted(r.stats)}")
        check_nothing_changed(fleet, before, "removal", [h for h in HOSTS if h not in removal_hosts])
        for h in removal_hosts:
            s = r.stats[h]
            res = r.result(h) or {}
            if h in INSTALLED_AFTER_ROLLOUT:
                check(s["changed"] > 0 and res == {"action": "remove", "rc": 0,
                                                   "log": os.path.join(fleet.logs, h + ".log")},
                      f"removal: {h} changed={s['changed']} {res}")
                check(fleet.manifest(h) is None, f"removal: {h} still has the agent")
                calls = fleet.calls(h)
                check(len(calls) == len(before[h]["records"].get("installer-cli.calls", "").splitlines()) + 1
                      and calls[-1].split()[-2:] == ["-e", "/usr/share/halcrest-kel-agent/Manifest"],
                      f"removal: {h} installer-cli calls {calls}")
            else:
                check(s["changed"] == 0 and s["failures"] == 0 and res.get("action") == "none"
                      and res.get("rc") is None, f"removal: {h} changed={s['changed']} {res}")
                check(fleet.snapshot(h) == before[h], f"removal: the installer ran on {h}")
                check(r.said(h) == "nothing to do: the agent is not installed", f"removal: {h} said {r.said(h)!r}")
    except Failed as e:
        failures.append(str(e))
        print(f"  FAIL: {e}", flush=True)
    finally:
        fleet.stop()
        left = subprocess.run(["ps", "-eo", "pid=,args="], capture_output=True, text=True).stdout
        left = [line for line in left.splitlines() if fleet.dir in line or f"{top}/cp" in line]
        check(not left, f"processes left after stopping the fleet: {left}")
        if args.keep:
            print(f"fleet: kept {top}")
        else:
            shutil.rmtree(top, ignore_errors=True)
    print(f"fleet: {time.monotonic() - started:.1f}s", flush=True)
    if failures:
        print(f"fleet: {len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("fleet: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
