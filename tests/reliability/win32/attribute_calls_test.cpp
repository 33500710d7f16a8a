// What the tool asks Windows for when it replaces a file with attributes: the new file is given
// each of them in the calls that set its attributes. Wine keeps hidden and system on its own
// even when a call asks for read-only alone, so what Wine reports afterwards cannot tell.
#include "platform/file_system.h"
#include "support/attributes.h"
#include "support/disk_calls.h"
#include "support/error_text.h"
#include "support/path_files.h"
#include "support/temp_prefix.h"
#include "support/win32/import_table.h"

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

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

using NtSetInformation = NTSTATUS(NTAPI *)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                           FILE_INFORMATION_CLASS);
NtSetInformation g_realSetInformation = nullptr;

// An older Windows 10, which knows no FileRenameInformationEx, and a rename over the read-only
// catalogue that is refused each time, its attribute cleared or not: the tool clears read-only
// for the rename, and must give it back when the rename still fails.
NTSTATUS NTAPI renameRefusedOnOlderWindows(HANDLE file, PIO_STATUS_BLOCK io, PVOID information,
                                           ULONG length, FILE_INFORMATION_CLASS kind) {
    if (static_cast<ULONG>(kind) == 65) return static_cast<NTSTATUS>(0xC0000003L); // invalid class
    if (kind == FileRenameInformation) return static_cast<NTSTATUS>(0xC0000022L);  // access denied
    return g_realSetInformation(file, io, information, length, kind);
}

using NtCreate = NTSTATUS(NTAPI *)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                   PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
NtCreate g_realCreate = nullptr;
std::string g_catalogue; // its host path

// Windows lets a read-only file be opened to change its attributes; Wine asks for the Unix write
// bit, which read-only takes away. For the catalogue's attribute handle, as Windows would.
NTSTATUS NTAPI openAsWindowsDoes(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES object,
                                 PIO_STATUS_BLOCK io, PLARGE_INTEGER size, ULONG attributes,
                                 ULONG share, ULONG disposition, ULONG options, PVOID ea,
                                 ULONG eaLength) {
    const std::wstring_view name(object->ObjectName->Buffer,
                                 object->ObjectName->Length / sizeof(wchar_t));
    if ((access & FILE_WRITE_ATTRIBUTES) && !(access & FILE_WRITE_DATA) &&
        name == L"DDXMLRepository.xml")
        (void)test::setFileAttributes(g_catalogue, 0);
    return g_realCreate(handle, access, object, io, size, attributes, share, disposition, options,
                        ea, eaLength);
}

TEST(AttributeCalls, AFailedSaveWithoutTheNewerRenameLeavesAReadOnlyCatalogueReadOnly) {
    test::TempDir dir;
    const std::string path = dir / "DDXMLRepository.xml";
    g_catalogue = path;
    test::writeFile(path, "<DDXMLRepository/>");
    ASSERT_TRUE(test::setFileAttributes(path, test::kReadOnly).ok());
    g_realSetInformation = reinterpret_cast<NtSetInformation>(
        test::patchImport("ntdll.dll", "NtSetInformationFile",
                          reinterpret_cast<void *>(&renameRefusedOnOlderWindows)));
    ASSERT_NE(g_realSetInformation, nullptr);
    g_realCreate = reinterpret_cast<NtCreate>(test::patchImport(
        "ntdll.dll", "NtCreateFile", reinterpret_cast<void *>(&openAsWindowsDoes)));
    ASSERT_NE(g_realCreate, nullptr);
    const auto saved = test::replaceFileContent(path, "<DDXMLRepository></DDXMLRepository>");
    test::patchImport("ntdll.dll", "NtSetInformationFile",
                      reinterpret_cast<void *>(g_realSetInformation));
    test::patchImport("ntdll.dll", "NtCreateFile", reinterpret_cast<void *>(g_realCreate));
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(test::readFile(path), "<DDXMLRepository/>");
    EXPECT_EQ(test::fileAttributes(path).value() & test::kReadOnly, test::kReadOnly)
        << "the attribute cleared for the rename is given back";
    ASSERT_TRUE(test::setFileAttributes(path, 0).ok()); // so that the folder can go
}

} // namespace
} // namespace corvelan
