#pragma once

#include <functional>

// Pure computation over a range, spread over the processor's cores: the
// calling thread takes the last part itself and waits for the others. The
// parts must only read shared data and write their own slots; an exception
// from any part reaches the caller once all have ended. On one core, or for a
// range shorter than `grain`, everything runs on the calling thread.
namespace parallel {

void For(int begin, int end, int grain, const std::function<void(int begin, int end)>& body);

// How many threads For uses at most.
int Threads();

} // namespace parallel
