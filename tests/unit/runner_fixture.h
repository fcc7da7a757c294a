// A temporary installation log for runner tests, read back entry by entry.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "installer/state.h"

struct RunnerLog : ::testing::Test {
    std::filesystem::path dir;
    std::string path;

    void SetUp() override {
        char tmpl[] = "/tmp/kel-runner.XXXXXX";
        dir = mkdtemp(tmpl);
        path = (dir / "install.log").string();
        log_path = path.data();
        innewt = 0;
    }
    void TearDown() override {
        log_path = nullptr;
        innewt = 0;
        std::filesystem::remove_all(dir);
    }

    // The log's entries with their time stamps taken off; text before the
    // first stamp (there should be none) comes back as an entry of its own.
    std::vector<std::string> entries() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string log = ss.str();
        static const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}: )");
        std::vector<std::string> out;
        std::size_t from = 0;
        bool first = true;
        for (auto it = std::sregex_iterator(log.begin(), log.end(), stamp); it != std::sregex_iterator(); ++it) {
            const std::size_t at = static_cast<std::size_t>(it->position());
            if (!first || at > 0)
                out.push_back(log.substr(from, at - from));
            from = at + static_cast<std::size_t>(it->length());
            first = false;
        }
        if (!first || from < log.size())
            out.push_back(log.substr(from));
        return out;
    }
};
