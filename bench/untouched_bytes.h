// How many bytes of a catalogue outside an install's or a remove's edit the result does not
// hold as they were. The edit is each device entry, with its whole line where nothing but blanks
// stands beside it on that line (indentation and line end included), and for an install the new
// entry just before the root's end tag. Every other byte must stand in the result in order, byte
// for byte, at its place between the edits; each one that does not counts.
#pragma once

#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace corvelan::bench {

// The span of `entry` in `bytes`, widened to its whole line when nothing but blanks stands beside
// it there. Written out here on its own, so that the measure does not take the tool's word.
inline std::pair<std::size_t, std::size_t> lineOf(std::string_view bytes, std::size_t from,
                                                  std::size_t to) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t start = from;
    while (start > 0 && blank(bytes[start - 1]))
        --start;
    std::size_t end = to;
    while (end < bytes.size() && blank(bytes[end]))
        ++end;
    const bool lineStarts = start > 0 && (bytes[start - 1] == '\n' || bytes[start - 1] == '\r');
    if (!lineStarts || end == bytes.size()) return {from, to};
    if (bytes.compare(end, 2, "\r\n") == 0) return {start, end + 2};
    if (bytes[end] == '\n' || bytes[end] == '\r') return {start, end + 1};
    return {from, to};
}

// The count, for `before` (UTF-8 or single-byte) edited into `after`; `installed`: a new device
// entry stands before the root's end tag.
inline long long untouchedBytesChanged(std::string_view before, std::string_view after,
                                       bool installed) {
    auto catalogue = catalogue::Catalogue::parse(std::string(before));
    if (!catalogue) return static_cast<long long>(before.size());
    // What must stay: the stretches between the device entries (with their lines).
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    std::size_t at = 0;
    for (const auto &entry : catalogue->entries()) {
        const auto offset = static_cast<std::size_t>(entry.span().offset);
        if (!catalogue->isDevice(entry) || offset < at) continue;
        const auto [from, to] =
            lineOf(before, offset, static_cast<std::size_t>(entry.span().end()));
        kept.emplace_back(at, from);
        at = to;
    }
    kept.emplace_back(at, before.size());
    // An install's entry goes before the root's end tag: what follows it is found at the end.
    std::size_t tail = 0;
    if (installed) {
        const auto endTag = static_cast<std::size_t>(catalogue->shape().rootEndTag.offset);
        tail = before.size() - endTag;
        kept.back().second = endTag;
    }
    long long changed = 0;
    auto compare = [&](std::size_t from, std::size_t length, std::size_t in) {
        for (std::size_t k = 0; k < length; ++k)
            if (in + k >= after.size() || after[in + k] != before[from + k]) ++changed;
    };
    std::size_t in = 0;
    for (const auto &[from, to] : kept) {
        compare(from, to - from, in);
        in += to - from;
    }
    if (installed) {
        const std::size_t tailIn = after.size() >= tail ? after.size() - tail : 0;
        compare(before.size() - tail, tail, tailIn);
        in = std::max(in, tailIn + tail);
    }
    // What the result holds beyond: bytes that stood nowhere before.
    if (!installed && after.size() > in) changed += static_cast<long long>(after.size() - in);
    return changed;
}

} // namespace corvelan::bench
