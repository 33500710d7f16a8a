// Who hears that the file layer waits for a file another program holds: a window shows a wait
// cursor meanwhile.
#pragma once

namespace corvelan::fs {

// Told when the file layer starts to wait for a file that another program holds, before it tries
// the step again, and when it stopped waiting.
class WaitObserver {
public:
    virtual ~WaitObserver() = default;
    virtual void waiting(bool waiting) = 0;
};

// Installs `observer` (null: none) and returns the one it replaces. Not thread-safe.
WaitObserver *setWaitObserver(WaitObserver *observer);

// Tells the installed observer, if any.
void tellWaiting(bool waiting);

} // namespace corvelan::fs
