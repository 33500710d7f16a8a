// Holds files the way other programs on a Windows PC do, for the tests of held files:
//   holder hold <path> <sharing: r | rw | rwd> <milliseconds>
//       opens the file for reading with that sharing, says "held", keeps it open, closes it;
//   holder lock <path> <milliseconds>
//       opens the file sharing everything and locks its whole range (LockFile), as programs
//       that keep a file open for others lock what they are writing; says "held", then unlocks;
//   holder scan <milliseconds> <folder>...
//       as a virus scanner or an indexer: watches each folder and opens every file that appears
//       or changes in it for that long (reading, sharing reading and writing), each on a thread
//       of its own; says "watching" once it watches. Runs until it is ended.
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// Written as it is: the C runtime's text mode would make "\n" "\r\n".
void say(const std::string &line) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
                &written, nullptr);
}

DWORD sharingOf(const std::wstring &letters) {
    DWORD share = 0;
    if (letters.find(L'r') != std::wstring::npos) share |= FILE_SHARE_READ;
    if (letters.find(L'w') != std::wstring::npos) share |= FILE_SHARE_WRITE;
    if (letters.find(L'd') != std::wstring::npos) share |= FILE_SHARE_DELETE;
    return share;
}

int hold(const std::wstring &path, DWORD share, int milliseconds) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    say("held\n");
    ::Sleep(static_cast<DWORD>(milliseconds));
    ::CloseHandle(file);
    return 0;
}

int lock(const std::wstring &path, int milliseconds) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    if (!::LockFile(file, 0, 0, MAXDWORD, MAXDWORD)) return 1;
    say("held\n");
    ::Sleep(static_cast<DWORD>(milliseconds));
    ::UnlockFile(file, 0, 0, MAXDWORD, MAXDWORD);
    ::CloseHandle(file);
    return 0;
}

// What a folder holds: each file's name with its index and write time, to see what is new.
std::map<std::wstring, std::pair<std::uint64_t, std::uint64_t>>
filesIn(const std::wstring &folder) {
    std::map<std::wstring, std::pair<std::uint64_t, std::uint64_t>> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::uint64_t written = (std::uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) |
                                      found.ftLastWriteTime.dwLowDateTime;
        files[found.cFileName] = {written,
                                  (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow};
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

int scan(int milliseconds, const std::vector<std::wstring> &folders) {
    std::vector<HANDLE> watches;
    std::vector<std::map<std::wstring, std::pair<std::uint64_t, std::uint64_t>>> seen;
    // Wine reports no change in a sub-folder: each folder is watched on its own.
    for (const std::wstring &folder : folders) {
        HANDLE watch = ::FindFirstChangeNotificationW(
            folder.c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
        if (watch == INVALID_HANDLE_VALUE) return 1;
        watches.push_back(watch);
        seen.push_back(filesIn(folder));
    }
    say("watching\n");
    while (true) {
        const DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(watches.size()),
                                                     watches.data(), FALSE, INFINITE);
        const size_t k = which - WAIT_OBJECT_0;
        if (k >= watches.size()) return 1;
        ::FindNextChangeNotification(watches[k]);
        auto now = filesIn(folders[k]);
        for (const auto &[name, version] : now) {
            const auto before = seen[k].find(name);
            if (before != seen[k].end() && before->second == version) continue;
            const std::wstring path = folders[k] + L"\\" + name;
            std::thread([path, milliseconds] {
                HANDLE file =
                    ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
                if (file == INVALID_HANDLE_VALUE) return;
                ::Sleep(static_cast<DWORD>(milliseconds));
                ::CloseHandle(file);
            }).detach();
        }
        seen[k] = std::move(now);
    }
}

} // namespace

int main() {
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    const std::wstring mode = argv[1];
    if (mode == L"hold" && argc == 5) return hold(argv[2], sharingOf(argv[3]), _wtoi(argv[4]));
    if (mode == L"lock" && argc == 4) return lock(argv[2], _wtoi(argv[3]));
    if (mode == L"scan")
        return scan(_wtoi(argv[2]), std::vector<std::wstring>(argv + 3, argv + argc));
    return 2;
}
