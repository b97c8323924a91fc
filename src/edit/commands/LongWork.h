// Work that can take long on a large object (rendering a transform, resampling every object of
// a picture) is worked out apart from the document and then installed in one step. The shell
// runs the working-out on a worker thread while its window stays painted and takes no input;
// without a runner (tests, the batch tool) it runs in place.
#pragma once

#include <functional>

namespace zepho {

// Runs `work` to its end and says whether its result is wanted: false when the user cancelled,
// and the caller then leaves the document as it was. `work` may read the document but changes
// only what it was given to fill.
using LongWorkRunner = std::function<bool(const std::function<void()>& work)>;

// The runner for the whole program (the shell sets it once); empty runs work in place.
void SetLongWorkRunner(LongWorkRunner runner);
bool RunLongWork(const std::function<void()>& work);

} // namespace zepho
