// What the installer prints and runs on the simulated host: the texts of a
// run, the installation tool's command line and arguments, and a log check.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace kel {

inline const std::string kLogPath = "/var/log/halcrest-kel-agent.log";
inline const std::string kAgentManifest = "/usr/share/halcrest-kel-agent/Manifest";
// What simhost's uname shim prints by default.
inline const std::string kRunning = "2.6.32-042stab123.1";

inline const std::string kWaitInstall = "Please wait while installing is in progress\n";
inline const std::string kWaitUpgrade = "Please wait while upgrading is in progress\n";
inline const std::string kWaitRemove = "Please wait while removing is in progress\n";
inline const std::string kFinishInstall =
    "Congratulations!\n\nYou have successfully completed installing Kelvarin for Linux.\n\n\n";
inline const std::string kFinishUpgrade =
    "Congratulations!\n\nYou have successfully completed updating Kelvarin for Linux.\n\n";
inline const std::string kFinishRemove = "Congratulations!\n\nYou have successfully removed Kelvarin for Linux.\n\n\n";

// The recommendation box as printed; list is the dashed form.
inline std::string recommendation(const std::string& list) {
    return "Kelvarin was successfully installed, but we recommend you to install the following packages as "
           "well:\n" +
           list + "\n";
}

// The default scenario leaves this optional package out.
inline const std::string kDefaultLeftOut = "- kel-extras-doc\n";

// The arguments the stand-in installation tool records for one run.
inline std::string cliArgs(const std::string& actionAndManifest, bool force = false,
                           const std::string& log = kLogPath) {
    return "--verbose --logfile=" + log + " --progress --define=kversion=" + kRunning + (force ? " --force" : "") +
           " " + actionAndManifest;
}

// The tool's command line as the installer composes and logs it.
inline std::string cliCommand(const std::string& options, const std::string& manifest, bool force = false) {
    return "./installer-cli --verbose --logfile=" + kLogPath +
           " --progress --define=\"kversion=$(uname -r)\"    " + (force ? "--force" : "") + " " + options + " " +
           manifest + " 2>&1";
}

// A log line holding the entry want: the whole line, or its end after the
// time stamp when the previous entry's output did not end with a newline.
inline bool isEntry(const std::string& line, const std::string& want) {
    static const std::regex stampAtEnd(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: $)");
    if (line == want)
        return true;
    return line.size() > want.size() && line.compare(line.size() - want.size(), want.size(), want) == 0 &&
        std::regex_search(line.substr(0, line.size() - want.size()), stampAtEnd);
}

// Passes when every expected entry occurs in lines, in this order.
inline ::testing::AssertionResult hasInOrder(const std::vector<std::string>& lines,
                                             const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const auto& want : expected) {
        while (at < lines.size() && !isEntry(lines[at], want))
            ++at;
        if (at == lines.size()) {
            std::string all;
            for (const auto& l : lines)
                all += "  | " + l + "\n";
            return ::testing::AssertionFailure() << "missing (in order): " << want << "\nlog:\n" << all;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace kel
