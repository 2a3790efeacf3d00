// Work shared out over threads.  The items of a loop are handed out one at a
// time, in increasing order, to whichever thread is free; the calling thread
// works too.  What an item computes may not depend on which thread takes it,
// so results are the same for any thread count.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace routines {

// Calls body(worker, item) for item = 0 .. count - 1 on up to `threads`
// threads, worker 0 being the calling thread and 1 .. threads - 1 the
// others; an item is taken by one worker only, and a worker takes its items
// in increasing order.  A thread that cannot be started (no room for its
// stack under a memory limit) leaves its share to the others.  An exception
// from body stops the handing out of items; once every worker has finished
// the item in hand, the first exception is rethrown here.
template <class Body>
void for_each_item(int threads, int count, Body&& body)
{
    std::atomic<int> next{0};
    std::exception_ptr first_error;
    std::mutex error_lock;
    auto work = [&](int worker) {
        for (int item = next.fetch_add(1); item < count; item = next.fetch_add(1)) {
            try {
                body(worker, item);
            } catch (...) {
                std::lock_guard<std::mutex> lock(error_lock);
                if (!first_error) first_error = std::current_exception();
                next = count;
                return;
            }
        }
    };
    std::vector<std::thread> pool;
    try {
        pool.reserve(static_cast<std::size_t>(threads > 1 ? threads - 1 : 0));
        for (int w = 1; w < threads && w < count; ++w) pool.emplace_back(work, w);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    work(0);
    for (auto& t : pool) t.join();
    if (first_error) std::rethrow_exception(first_error);
}

}  // namespace routines
