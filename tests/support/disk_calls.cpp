#include "support/disk_calls.h"

namespace corvelan::test {
namespace {

std::vector<DiskCall> g_calls;
bool g_recording = false;

} // namespace

DiskCallRecorder::DiskCallRecorder() {
    hooks::install();
    g_calls.clear();
    g_recording = true;
}

DiskCallRecorder::~DiskCallRecorder() {
    g_recording = false;
}

const std::vector<DiskCall> &DiskCallRecorder::calls() const {
    return g_calls;
}

namespace hooks {

bool recording() {
    return g_recording;
}

void record(const DiskCall &call) {
    if (g_recording) g_calls.push_back(call);
}

} // namespace hooks
} // namespace corvelan::test
