// Message boxes answered by the test: every box is recorded, a Yes/No box gets `answer`.
#pragma once

#include "workflows/ports.h"

#include <functional>
#include <string>
#include <vector>

namespace corvelan::test {

// A box as the test saw it.
struct ShownBox {
    std::string text;
    std::string title;
    workflows::BoxStyle style = workflows::BoxStyle::Ok;
    friend bool operator==(const ShownBox &, const ShownBox &) = default;
};

class ScriptedBoxes final : public workflows::MessageBoxes {
public:
    workflows::BoxAnswer show(const std::string &text, const std::string &title,
                              workflows::BoxStyle style) override {
        shown.push_back({text, title, style});
        if (whileShown) whileShown(shown.back());
        return style == workflows::BoxStyle::Confirm ? answer : workflows::BoxAnswer::Ok;
    }

    std::vector<ShownBox> shown;
    workflows::BoxAnswer answer = workflows::BoxAnswer::Yes;
    // What the world does while a box is open, before the user answers.
    std::function<void(const ShownBox &)> whileShown;
};

} // namespace corvelan::test
