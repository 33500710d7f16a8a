// The hostile and broken inputs, shared by the tests and the benchmark: committed fixtures under
// tests/fixtures/hostile/{catalogue,description}/, and generated ones too large to commit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvelan::test {

struct HostileCase {
    std::string name;
    // Writes the input with the given root element to `path`; the committed fixture's copy when
    // there is no generator.
    std::function<void(const std::string &path, const std::string &root)> generate;
    bool catalogueLoads = false;    // false: refused like a malformed file
    bool descriptionPasses = false; // false: box 1
};

[[nodiscard]] const std::vector<HostileCase> &hostileCases();

// Writes case `c` for `root` ("DDXMLRepository" or "ISO15745Profile") to `path`.
void writeHostileCase(const HostileCase &c, const std::string &root, const std::string &path);

// The path that the external-entity case names; it must never be read.
inline constexpr const char *kNeverReadPath = "/tmp/corvelan-never-read";

} // namespace corvelan::test
