#include "platform/retry.h"

#include "platform/wait_observer.h"

#include <cerrno>

namespace corvelan::fs {
namespace {

int g_waits = 0; // waits in progress, one within another

} // namespace

host::Refusal refusalOf(const Error &e) {
    if (e.code != ErrorCode::System) return host::Refusal::Other;
    if (auto refusal = host::refusalOf(e)) return *refusal;
    switch (e.sysErrno) {
    case EBUSY: // on Linux only the fault seam says so: no program there holds a file from us
        return host::Refusal::Held;
    case EACCES:
    case EPERM:
    case EROFS:
        return host::Refusal::NoRights;
    default:
        return host::Refusal::Other;
    }
}

Error explained(Error e) {
    switch (refusalOf(e)) {
    case host::Refusal::Held:
        e.code = ErrorCode::InUse;
        break;
    case host::Refusal::NoRights:
        e.code = ErrorCode::NoRights;
        break;
    case host::Refusal::Other:
        break;
    }
    return e;
}

RightsRemedy rightsRemedy() {
    return host::rightsRemedy();
}

Waiting::Waiting() {
    if (g_waits++ == 0) tellWaiting(true);
}

Waiting::~Waiting() {
    if (--g_waits == 0) tellWaiting(false);
}

} // namespace corvelan::fs
