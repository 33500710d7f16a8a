// Errors in a failed assertion's message, as the user would read them.
#pragma once

#include "base/result.h"
#include "workflows/messages.h"

#include <ostream>

namespace corvelan {

inline std::ostream &operator<<(std::ostream &out, const Error &error) {
    return out << workflows::describe(error);
}

} // namespace corvelan
