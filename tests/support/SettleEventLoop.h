#pragma once
// For checking that something does NOT happen, without waiting a fixed time: runs the Qt
// event loop for rounds, each ended by a call posted at its start, so whatever was ready
// (posted calls, ready descriptors, due timers) and what that set off in the next rounds
// has been handled when it returns.

namespace clipdeck::test {

void settleEventLoop(int rounds = 5);

} // namespace clipdeck::test
