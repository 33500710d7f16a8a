#include "support/hostile_corpus.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace corvelan::test {
namespace {

std::string body(const std::string &root) {
    return root == "DDXMLRepository"
               ? "<File ProductID=\"QVX TSR 7700\" Fileversion=\"1.0\"/>"
               : "<productName>QVXTSR7700</productName><version>1.0</version>";
}

void deepNesting(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root);
    for (int i = 0; i < 2'000'000; ++i)
        out << "<a>";
    for (int i = 0; i < 2'000'000; ++i)
        out << "</a>";
    out << "</" << root << ">";
}

void manyAttributes(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root) << "<File ProductID='x'";
    for (int i = 0; i < 100'000; ++i)
        out << " a" << i << "='1'";
    out << "/></" << root << ">";
}

void hugeValue(const std::string &path, const std::string &root) {
    std::ofstream out(path, std::ios::binary);
    out << "<" << root << ">" << body(root) << "<File ProductID='";
    const std::string block(1 << 20, 'v');
    for (int i = 0; i < 64; ++i)
        out << block;
    out << "'/></" << root << ">";
}

void sparseTwoGigabytes(const std::string &path, const std::string &root) {
    {
        std::ofstream out(path, std::ios::binary);
        out << "<" << root << ">" << body(root);
    }
    std::filesystem::resize_file(path, std::uintmax_t{2} << 30);
}

} // namespace

const std::vector<HostileCase> &hostileCases() {
    static const std::vector<HostileCase> cases{
        {"billion-laughs", nullptr, false, false},
        {"quadratic-blowup", nullptr, false, false},
        {"external-entity", nullptr, false, false},
        {"external-dtd", nullptr, true, true},
        {"duplicate-attributes", nullptr, false, false},
        {"control-character", nullptr, false, false},
        {"invalid-utf8", nullptr, false, false},
        {"nul-byte", nullptr, false, false},
        {"truncated", nullptr, false, false},
        {"windows-1252", nullptr, true, true},
        {"windows-1252-undefined-byte", nullptr, false, false},
        {"shift-jis", nullptr, false, false},
        {"declared-utf16-but-utf8", nullptr, false, false},
        {"utf16-without-bom", nullptr, true, true},
        {"nesting-2000000-deep", deepNesting, false, false},
        {"100000-attributes", manyAttributes, false, false},
        {"64-MB-attribute-value", hugeValue, false, false},
        {"2-GB-sparse", sparseTwoGigabytes, false, false},
    };
    return cases;
}

void writeHostileCase(const HostileCase &c, const std::string &root, const std::string &path) {
    if (c.generate) {
        c.generate(path, root);
        return;
    }
    const std::string folder = root == "DDXMLRepository" ? "catalogue" : "description";
    std::filesystem::copy_file(std::string(CORVELAN_HOSTILE_DIR) + "/" + folder + "/" + c.name +
                                   ".xml",
                               path, std::filesystem::copy_options::overwrite_existing);
}

} // namespace corvelan::test
