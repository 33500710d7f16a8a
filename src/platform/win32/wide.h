// The Win32 boundary: UTF-8 strings in, UTF-16 for the W functions, and Win32 errors out as the
// tool's errors. Only platform/win32 includes this.
#pragma once

#include "base/result.h"

#include <string>
#include <string_view>

#include <windows.h>

namespace corvelan::win32 {

// UTF-16 of a UTF-8 string; a byte that starts no valid sequence becomes U+FFFD (callers
// validate names first).
[[nodiscard]] std::wstring toWide(std::string_view utf8);

// UTF-8 of a UTF-16 string (lone surrogates as in platform/utf16.h).
[[nodiscard]] std::string fromWide(std::wstring_view wide);

// The path as the W functions take it: separators as '\', and the "\\?\" prefix when it is long
// enough for MAX_PATH to matter (absolute drive paths; "\\?\UNC\" for a share).
[[nodiscard]] std::wstring toWidePath(std::string_view path);

// The tool's error for the Win32 error `code` in `operation` on `path`: the code, the errno of the
// same meaning where there is one (so that errors read alike on both platforms), and Windows' own
// text for it.
[[nodiscard]] Error win32Error(DWORD code, std::string path, fs::FileOperation operation);

// The same for GetLastError().
[[nodiscard]] Error lastError(std::string path, fs::FileOperation operation);

// Closes a HANDLE once; move-only.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
    Handle(Handle &&other) noexcept : m_handle(other.release()) {}
    Handle &operator=(Handle &&other) noexcept {
        if (this != &other) {
            reset();
            m_handle = other.release();
        }
        return *this;
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { reset(); }

    [[nodiscard]] HANDLE get() const { return m_handle; }
    [[nodiscard]] bool valid() const {
        return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr;
    }
    HANDLE release() {
        HANDLE h = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset() {
        if (valid()) ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

} // namespace corvelan::win32
