#include "base/result.h"

namespace corvelan {

Error makeError(ErrorCode code, std::string path) {
    Error e;
    e.code = code;
    e.path = std::move(path);
    return e;
}

Error systemError(int err, std::string path, fs::FileOperation operation) {
    Error e = makeError(ErrorCode::System, std::move(path));
    e.operation = operation;
    e.sysErrno = err;
    return e;
}

} // namespace corvelan
