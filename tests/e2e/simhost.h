// The installer on a simulated host (tools/simhost): one persistent state
// directory per fixture, so an installation can be followed by an upgrade.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

class SimHost {
public:
    // Host settings as KEY=VALUE (PLATFORM, KERNELS, RUNNING, AGENT, MIGLIB,
    // PRINTK, LSB_RELEASE); they take effect when the host is first set up.
    explicit SimHost(std::vector<std::string> settings = {});

    // Runs the bundle's installer with args; scenario variables (KEL_...) in
    // env. The stand-in tools' delays default to 0.
    RunResult run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
    // Runs any command on the host.
    RunResult exec(const std::vector<std::string>& command, const std::vector<std::string>& env = {}) const;
    // A shell command line that runs the installer on this host, for tmux.
    std::string commandLine(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                            const std::string& program = kInstaller) const;

    // A file of the simulated host as the installer left it (/etc, /usr/share, /var/log).
    std::string hostPath(const std::string& path) const;
    std::string log() const { return readFile(hostPath("/var/log/halcrest-kel-agent.log")); }
    std::string printk() const { return readFile(state_.path + "/printk"); }
    // One line per run of the stand-in installation tool: its arguments.
    std::vector<std::string> cliCalls() const { return lines(state_.path + "/tools/installer-cli.calls"); }
    std::vector<std::string> pmCalls() const { return lines(state_.path + "/tools/pm.sh.calls"); }
    bool agentInstalled() const;
    const std::string& state() const { return state_.path; }

    static std::vector<std::string> lines(const std::string& path);

private:
    std::vector<std::string> simhostArgs() const;
    std::vector<std::string> withDefaults(const std::vector<std::string>& env) const;
    TempDir state_;
    std::vector<std::string> settings_;
};

// Quotes a word for sh.
std::string shellQuote(const std::string& word);
