#include "edit/commands/LongWork.h"

namespace zepho {

namespace {
LongWorkRunner& Runner() {
    static LongWorkRunner runner;
    return runner;
}
} // namespace

void SetLongWorkRunner(LongWorkRunner runner) {
    Runner() = std::move(runner);
}

bool RunLongWork(const std::function<void()>& work) {
    if (!Runner()) {
        work();
        return true;
    }
    return Runner()(work);
}

} // namespace zepho
