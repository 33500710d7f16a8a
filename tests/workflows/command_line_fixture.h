// What the command line's tests start from: a repository whose catalogue holds another product's
// entry and the device's, the five pictures beside the tool, a description of the device at
// C:\good.xml and one of another product at C:\other.xml; and the command run on it, with what it
// printed where.
#pragma once

#include "support/repository.h"
#include "support/temp_prefix.h"
#include "workflows/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvelan::workflows {

struct Ran {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the command line `arguments` on `repo`, its events in `log`.
inline Ran runCli(test::Repository &repo, const std::vector<std::string> &arguments,
                  EventLog &log) {
    Ran r;
    r.code = runCommandLine(
        arguments, repo.prefix.drives(), repo.toolFolder(), "9.8.7",
        [&r](std::string_view text) { r.out += text; },
        [&r](std::string_view text) { r.err += text; }, log);
    return r;
}

// The same, its events in `repo.log`.
inline Ran runCli(test::Repository &repo, const std::vector<std::string> &arguments) {
    return runCli(repo, arguments, repo.log);
}

class CommandLineTest : public ::testing::Test {
protected:
    static inline const std::string &kCatalogue = test::kTwoEntries;
    // The catalogue as far as the device's entry.
    static inline const std::string kHead =
        kCatalogue.substr(0, kCatalogue.find("<File ProductID=\"QVX"));

    void SetUp() override {
        test::writeFile(prefix / "drive_c/good.xml", test::description("3.1"));
        test::writeFile(prefix / "drive_c/other.xml",
                        test::profile("<productName>Other</productName>"));
    }
    Ran run(const std::vector<std::string> &arguments) { return runCli(repo, arguments); }

    test::Repository repo;
    test::TempPrefix &prefix = repo.prefix;
    test::TempDir &tool = repo.tool;
};

} // namespace corvelan::workflows
