// Independent pieces of work spread over the processor cores, with their
// results handed on strictly in order.
//
// run_in_order(count, threads, work, deliver) calls work(i, worker) for every
// i in [0, count) and deliver(i) for every i in increasing order, each as soon
// as piece i and every piece before it are done. `work` runs on the worker
// threads (worker = 0 .. threads-1, so that each can own a workspace) and must
// touch only what belongs to piece i; `deliver` runs on the calling thread,
// which is where records are written. With one thread the two simply
// alternate: work(0), deliver(0), work(1), deliver(1), ...
//
// Pieces are taken in increasing order, so at any time every piece below the
// lowest one in progress is done; nothing is kept per piece. If `deliver`
// throws (a record that cannot be written), no further piece is started, the
// workers finish the pieces they hold, and the exception goes on to the
// caller; an exception thrown by `work` (storage exhausted) is passed on the
// same way.
#pragma once

#include <cstdint>
#include <functional>

namespace periodscan {

// The number of cores this process may run on (at least 1).
int available_cores();

void run_in_order(int64_t count, int threads, const std::function<void(int64_t, int)>& work,
                  const std::function<void(int64_t)>& deliver);

}  // namespace periodscan
