#include "platform/result.h"

#include <cstring>

namespace corvelan {

Error makeError(ErrorCode code, std::string subject, std::string detail) {
    Error e;
    e.code = code;
    e.subject = std::move(subject);
    e.detail = std::move(detail);
    return e;
}

Error systemError(int err, std::string subject, std::string what) {
    Error e;
    e.code = ErrorCode::System;
    e.subject = std::move(subject);
    e.sysErrno = err;
    e.detail = std::move(what);
    return e;
}

std::string Error::reason() const {
    switch (code) {
    case ErrorCode::NotFound:
        return detail.empty() ? "The system cannot find the file specified" : detail;
    case ErrorCode::NotAFile:
        return "It is a folder, not a file";
    case ErrorCode::NotRegularFile:
        return "It is a device, FIFO or socket, not a file";
    case ErrorCode::InvalidPath:
        return detail.empty() ? "The path is not a valid Windows path" : detail;
    case ErrorCode::AmbiguousName:
        return "Several names differ from it only in letter case" +
               (detail.empty() ? std::string() : ": " + detail);
    case ErrorCode::System: {
        std::string text = osMessage.empty() ? std::strerror(sysErrno) : osMessage;
        return detail.empty() ? text : detail + ": " + text;
    }
    case ErrorCode::TooLarge:
        return detail.empty() ? "The file is too large" : detail;
    case ErrorCode::XmlSyntax:
    case ErrorCode::XmlUnseenEntity: {
        std::string text = detail;
        if (line > 0)
            text += " at line " + std::to_string(line) + ", column " + std::to_string(column);
        return text;
    }
    case ErrorCode::EditRefused:
    case ErrorCode::NotRepository:
        return detail;
    case ErrorCode::ChangedOnDisk:
        return detail.empty() ? "Another program changed the file" : detail;
    }
    return detail;
}

std::string Error::message() const {
    if (subject.empty()) return reason();
    return "'" + subject + "': " + reason();
}

} // namespace corvelan
