// What the tool asks Windows for when it replaces a file with attributes: the new file is given
// each of them in the calls that set its attributes. Wine keeps hidden and system on its own
// even when a call asks for read-only alone, so what Wine reports afterwards cannot tell.
#include "platform/file_system.h"
#include "support/attributes.h"
#include "support/disk_calls.h"
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvelan {
namespace {

using test::DiskCall;

TEST(AttributeCalls, TheNewFileIsAskedForEveryAttributeTheOldOneHad) {
    const struct {
        const char *name;
        std::uint32_t attributes;
    } cases[] = {
        {"read-only and hidden", test::kReadOnly | test::kHidden},
        {"read-only, hidden and system", test::kReadOnly | test::kHidden | test::kSystem},
        {"hidden", test::kHidden},
        {"read-only", test::kReadOnly},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        test::TempDir dir;
        const std::string path = dir / "DDXMLRepository.xml";
        test::writeFile(path, "<DDXMLRepository/>");
        ASSERT_TRUE(test::setFileAttributes(path, tc.attributes).ok());
        std::vector<DiskCall> calls;
        {
            test::DiskCallRecorder recorder;
            const auto saved =
                test::replaceFileContent(path, "<DDXMLRepository></DDXMLRepository>");
            ASSERT_TRUE(saved.ok()) << saved.error();
            calls = recorder.calls();
        }
        const auto rename = std::find_if(calls.begin(), calls.end(), [](const DiskCall &c) {
            return c.kind == DiskCall::Rename;
        });
        ASSERT_NE(rename, calls.end());
        // The last attributes the new file was given before it took the old one's place.
        const auto given =
            std::find_if(std::make_reverse_iterator(rename), calls.rend(), [&](const DiskCall &c) {
                return c.kind == DiskCall::SetAttributes && c.file == rename->file;
            });
        ASSERT_NE(given, calls.rend()) << "the new file was given no attributes";
        EXPECT_EQ(given->attributes & (test::kReadOnly | test::kHidden | test::kSystem),
                  tc.attributes);
        EXPECT_EQ(test::fileAttributes(path).value() &
                      (test::kReadOnly | test::kHidden | test::kSystem),
                  tc.attributes);
    }
}

} // namespace
} // namespace corvelan
