#include "simhost.h"

#include <filesystem>
#include <sstream>

SimHost::SimHost(std::vector<std::string> settings) : settings_(std::move(settings)) {}

std::vector<std::string> SimHost::simhostArgs() const {
    std::vector<std::string> argv = {kSimhost, "--state", state_.path};
    argv.insert(argv.end(), settings_.begin(), settings_.end());
    argv.push_back("--");
    return argv;
}

std::vector<std::string> SimHost::withDefaults(const std::vector<std::string>& env) const {
    std::vector<std::string> all = {"KEL_PM_DELAY=0", "KEL_CLI_DELAY=0"};
    all.insert(all.end(), env.begin(), env.end());
    return all;
}

RunResult SimHost::exec(const std::vector<std::string>& command, const std::vector<std::string>& env) const {
    std::vector<std::string> argv = simhostArgs();
    argv.insert(argv.end(), command.begin(), command.end());
    return runProcess(argv, withDefaults(env));
}

RunResult SimHost::run(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
    std::vector<std::string> command = {kInstaller};
    command.insert(command.end(), args.begin(), args.end());
    return exec(command, env);
}

std::string SimHost::commandLine(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                 const std::string& program) const {
    std::vector<std::string> words = withDefaults(env);
    const auto sim = simhostArgs();
    words.insert(words.end(), sim.begin(), sim.end());
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    std::string line = "env";
    for (const auto& w : words) {
        line += ' ';
        line += shellQuote(w);
    }
    return line;
}

std::string SimHost::hostPath(const std::string& path) const {
    static const std::pair<std::string, std::string> overlays[] = {
        {"/etc/", "etc"}, {"/usr/share/", "usr-share"}, {"/var/log/", "var-log"}};
    for (const auto& [prefix, dir] : overlays)
        if (path.rfind(prefix, 0) == 0)
            return state_.path + "/upper/" + dir + "/" + path.substr(prefix.size());
    return path;
}

bool SimHost::agentInstalled() const {
    return std::filesystem::exists(hostPath("/usr/share/halcrest-kel-agent/Manifest"));
}

std::vector<std::string> SimHost::lines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

std::string shellQuote(const std::string& word) {
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
