// The lines of a list, in one buffer: a listing of hundreds of thousands of entries without a
// string of its own for each line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelan::catalogue {

class Listing {
public:
    void reserve(std::size_t lines, std::size_t bytes) {
        m_ends.reserve(lines);
        m_text.reserve(bytes);
    }
    // Adds a line made of `parts`, one after the other.
    template <typename... Parts> void add(const Parts &...parts) {
        (m_text.append(parts), ...);
        m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
    }

    [[nodiscard]] std::size_t size() const { return m_ends.size(); }
    [[nodiscard]] bool empty() const { return m_ends.empty(); }
    [[nodiscard]] std::string_view operator[](std::size_t line) const {
        const std::uint32_t from = line == 0 ? 0 : m_ends[line - 1];
        return std::string_view(m_text).substr(from, m_ends[line] - from);
    }

private:
    std::string m_text;
    std::vector<std::uint32_t> m_ends; // where each line ends in m_text
};

} // namespace corvelan::catalogue
