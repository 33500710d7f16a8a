// Steps that another program can refuse for a moment are tried again. On a Windows PC virus
// scanners, indexers and backup agents open each new file for a moment, and the host product
// may hold its catalogue; a step such a program refuses is tried again after 10 ms, then after
// twice as long each time, for about 2 s in all, and then given up. The first try waits for
// nothing, so a step nobody refuses costs nothing more. Only the platform layer includes this.
//
//   try  10ms  try  20ms  try  40ms  try ... 640ms  try  730ms  try     (2 s of waiting in all)
#pragma once

#include "base/result.h"
#include "platform/file_primitives.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvelan::fs {

inline constexpr std::chrono::milliseconds kFirstPause{10};
inline constexpr std::chrono::milliseconds kRetryBudget{2000};

// Why a System error refused its step: the platform's word where its error carries an OS code,
// else its errno (EBUSY: held; EACCES, EPERM, EROFS: no rights).
[[nodiscard]] host::Refusal refusalOf(const Error &e);

// The error as the user should hear of it: a refusal that another program's hold (InUse) or
// missing rights (NoRights) explain says so; any other error as it is.
[[nodiscard]] Error explained(Error e);

// While it lives, the wait observer knows that a step is waited for; a wait within a wait is
// told once.
class Waiting {
public:
    Waiting();
    ~Waiting();
    Waiting(const Waiting &) = delete;
    Waiting &operator=(const Waiting &) = delete;
};

// Runs `step` (which returns a Status or a Result) until it succeeds, fails for another reason
// than a file another program holds, or the time for waiting is up. A failure comes explained.
template <typename Step> auto retrying(Step &&step) -> decltype(step()) {
    auto result = step();
    if (result) return result;
    if (refusalOf(result.error()) == host::Refusal::Held) {
        const Waiting waiting;
        auto pause = kFirstPause;
        for (auto waited = decltype(pause){0}; !result &&
                                               refusalOf(result.error()) == host::Refusal::Held &&
                                               waited < kRetryBudget;) {
            std::this_thread::sleep_for(pause);
            waited += pause;
            pause = std::min(pause * 2, kRetryBudget - waited);
            result = step();
        }
        if (result) return result;
    }
    return explained(result.error());
}

} // namespace corvelan::fs
