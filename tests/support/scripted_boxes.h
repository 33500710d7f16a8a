// Message boxes answered by the test: every box is recorded, a Yes/No box gets `answer`.
#pragma once

#include "workflows/ports.h"

#include <functional>
#include <string>
#include <vector>

namespace corvelan::test {

struct ShownBox {
    std::string text;
    std::string title;
    int style = 0;
    friend bool operator==(const ShownBox &, const ShownBox &) = default;
};

class ScriptedBoxes final : public workflows::MessageBoxes {
public:
    int show(const std::string &text, const std::string &title, int style) override {
        shown.push_back({text, title, style});
        if (whileShown) whileShown(shown.back());
        return (style & 7) == 4 ? answer : workflows::kAnswerOk;
    }

    std::vector<ShownBox> shown;
    int answer = workflows::kAnswerYes;
    // What the world does while a box is open, before the user answers.
    std::function<void(const ShownBox &)> whileShown;
};

} // namespace corvelan::test
