// A user-interface host for tests: records every message and question, answers from a queue.
#pragma once

#include "platform/Services.h"

#include <deque>
#include <string>
#include <vector>

namespace zepho::test {

class ScriptedUiHost : public IUiHost {
public:
    struct Shown {
        std::string text, caption;
        bool question = false;
    };
    std::vector<Shown> shown;
    std::deque<bool> answers; // for AskYesNo; "No" once the queue is empty

    void MessageBox(const std::string& text, const std::string& caption, MsgIcon) override {
        shown.push_back({text, caption, false});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption, true});
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

} // namespace zepho::test
