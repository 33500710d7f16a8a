// Hooks of the fault seam for tests: each is installed for as long as it lives, and the hook it
// replaced is put back when it goes, so that a failing test leaves the next one a seam as it
// found it.
#pragma once

#include "platform/fault_seam.h"
#include "platform/wait_observer.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace corvelan::test {

// True for a path in the tool's history, of a folder or a file in it. The hooks below fail the
// repository's steps and let the history's pass, unless made `inHistory`, when they fail the
// history's alone.
inline bool inHistory(const std::string &path) {
    return path.find("ProgramData/Corvelan") != std::string::npos ||
           path.find("ProgramData\\Corvelan") != std::string::npos;
}

// The base of a hook: installs it, and puts back the one it replaced.
class ScopedHook : public fs::FileOperationHook {
public:
    ScopedHook(const ScopedHook &) = delete;
    ScopedHook &operator=(const ScopedHook &) = delete;
    ~ScopedHook() override { fs::setFileOperationHook(m_previous); }

protected:
    ScopedHook() : m_previous(fs::setFileOperationHook(this)) {}

private:
    fs::FileOperationHook *m_previous;
};

// Fails every write of a file, as a full disk does.
class FullDisk final : public ScopedHook {
public:
    explicit FullDisk(bool history = false) : m_history(history) {}
    int before(fs::FileOperation operation, const std::string &path) override {
        return operation == fs::FileOperation::Write && inHistory(path) == m_history ? ENOSPC : 0;
    }

private:
    bool m_history;
};

// At each step of `operation`, on any path of the repository (or of the history), runs `action`
// with the number of times that step came so far (from 1): what it returns, an errno or 0, fails
// the step or lets it pass.
class AtStep final : public ScopedHook {
public:
    AtStep(fs::FileOperation operation, std::function<int(int time)> action, bool history = false)
        : m_operation(operation), m_action(std::move(action)), m_history(history) {}
    int before(fs::FileOperation operation, const std::string &path) override {
        return operation == m_operation && inHistory(path) == m_history ? m_action(++m_times) : 0;
    }
    [[nodiscard]] int times() const { return m_times; }

private:
    fs::FileOperation m_operation;
    std::function<int(int)> m_action;
    bool m_history;
    int m_times = 0;
};

// Fails the n-th operation with `err`, or runs `action` at it; records every operation.
class FaultAt final : public ScopedHook {
public:
    FaultAt(int failAt, int err) : m_failAt(failAt), m_err(err) {}

    int before(fs::FileOperation operation, const std::string &path) override {
        if (inHistory(path)) return 0;
        seen.push_back({operation, path});
        if (static_cast<int>(seen.size()) != m_failAt) return 0;
        if (action) {
            action();
            return 0;
        }
        return m_err;
    }
    [[nodiscard]] bool fired() const { return static_cast<int>(seen.size()) >= m_failAt; }
    [[nodiscard]] std::pair<fs::FileOperation, std::string> failed() const {
        return seen[m_failAt - 1];
    }

    std::vector<std::pair<fs::FileOperation, std::string>> seen;
    std::function<void()> action;

private:
    int m_failAt;
    int m_err;
};

// Another program that holds a file: `operation` is refused with `err` (EBUSY: as a file held
// is) the first `times` times it is tried (-1: every time).
class Held final : public ScopedHook, public fs::WaitObserver {
public:
    Held(fs::FileOperation operation, int times, int err = EBUSY)
        : m_operation(operation), m_times(times), m_err(err) {
        m_previousObserver = fs::setWaitObserver(this);
    }
    ~Held() override { fs::setWaitObserver(m_previousObserver); }
    int before(fs::FileOperation operation, const std::string &path) override {
        if (operation != m_operation || inHistory(path)) return 0;
        tries.push_back(std::chrono::steady_clock::now());
        if (onTry) onTry(static_cast<int>(tries.size()));
        return m_times < 0 || static_cast<int>(tries.size()) <= m_times ? m_err : 0;
    }
    void waiting(bool on) override { waits.push_back(on); }

    std::vector<std::chrono::steady_clock::time_point> tries;
    std::vector<bool> waits; // what the windows were told: a wait cursor on, then off
    std::function<void(int)> onTry;

private:
    fs::FileOperation m_operation;
    int m_times;
    int m_err;
    fs::WaitObserver *m_previousObserver;
};

} // namespace corvelan::test
