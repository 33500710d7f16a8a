// The benchmarks' count of untouched bytes changed must itself be right: a clean edit counts
// nothing, and one byte changed anywhere outside the edit counts one, whichever way the device
// entries stand in the file. Every "after" here is written by hand, not by the tool.
#include "untouched_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using corvelan::bench::untouchedBytesChanged;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DDXMLRepository>\r\n";
const std::string kDevice = "<File Fileversion=\"1.0\" ProductID=\"QVX TSR 7700\"/>";
const std::string kNew = "<File Fileversion=\"2.0\" ProductID=\"QVX TSR 7700\"/>";

std::string other(int n) {
    return "<File Fileversion=\"1." + std::to_string(n) + "\" ProductID=\"P" + std::to_string(n) +
           "\"/>";
}

struct Case {
    const char *name;
    std::string before;
    std::string afterRemove;  // the device entries taken out
    std::string afterInstall; // and the new one put before the root's end tag
};

std::vector<Case> cases() {
    return {
        // Each entry on a line of its own, indented: the device's lines go whole.
        {"EntriesOnLinesOfTheirOwn",
         kHead + "  " + other(1) + "\r\n  " + kDevice + "\r\n\t" + other(2) + "\r\n  " + kDevice +
             "\r\n</DDXMLRepository>\r\n",
         kHead + "  " + other(1) + "\r\n\t" + other(2) + "\r\n</DDXMLRepository>\r\n",
         kHead + "  " + other(1) + "\r\n\t" + other(2) + "\r\n" + kNew +
             "\r\n</DDXMLRepository>\r\n"},
        // The same with bare line feeds.
        {"LinesEndingInLineFeeds",
         kHead + "  " + other(1) + "\n  " + kDevice + "\n" + other(2) + "\n</DDXMLRepository>\n",
         kHead + "  " + other(1) + "\n" + other(2) + "\n</DDXMLRepository>\n",
         kHead + "  " + other(1) + "\n" + other(2) + "\n" + kNew + "\r\n</DDXMLRepository>\n"},
        // Entries that share a line with others: only the elements go, the blanks stay.
        {"EntriesSharingALine",
         kHead + other(1) + " " + kDevice + " " + other(2) + kDevice + "\n</DDXMLRepository>",
         kHead + other(1) + "  " + other(2) + "\n</DDXMLRepository>",
         kHead + other(1) + "  " + other(2) + "\n" + kNew + "\r\n</DDXMLRepository>"},
    };
}

TEST(UntouchedBytes, ACleanEditCountsNothingAndOnePlantedByteCountsOne) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(untouchedBytesChanged(c.before, c.afterRemove, false), 0);
        EXPECT_EQ(untouchedBytesChanged(c.before, c.afterInstall, true), 0);
        for (const bool installed : {false, true}) {
            SCOPED_TRACE(installed ? "install" : "remove");
            const std::string clean = installed ? c.afterInstall : c.afterRemove;
            // One byte at each end of what is kept, and one between the edits.
            for (const std::size_t at :
                 {std::size_t{0}, clean.find("P1") + 1, clean.find("P2") + 1, clean.size() - 1}) {
                std::string planted = clean;
                planted[at] = planted[at] == 'x' ? 'y' : 'x';
                EXPECT_EQ(untouchedBytesChanged(c.before, planted, installed), 1) << "at " << at;
            }
        }
    }
}

TEST(UntouchedBytes, WhatTheEditWritesIsNotCountedButWhatItLosesOrAddsIs) {
    const Case c = cases().front();
    // The new entry's own bytes are the edit's: another version there changes nothing counted.
    std::string otherVersion = c.afterInstall;
    otherVersion.replace(otherVersion.find("2.0"), 3, "9.9");
    EXPECT_EQ(untouchedBytesChanged(c.before, otherVersion, true), 0);
    // A line of the file lost, or a line added after a remove, counts every byte of it.
    const std::string line = "\t" + other(2) + "\r\n";
    std::string lost = c.afterRemove;
    lost.erase(lost.find(line), line.size());
    EXPECT_GE(untouchedBytesChanged(c.before, lost, false), static_cast<long long>(line.size()));
    EXPECT_EQ(untouchedBytesChanged(c.before, c.afterRemove + line, false),
              static_cast<long long>(line.size()));
    // A device entry left where it stood is not an edit made.
    EXPECT_GT(untouchedBytesChanged(c.before, c.before, false), 0);
}

} // namespace
