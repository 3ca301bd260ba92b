// Two measurements of one benchmark run, taken in turns: the even runs take `first` first, the
// odd runs `second`, because whichever goes second pays for the writeback and the cache the
// other one left behind.
#pragma once

#include <utility>

namespace vornak::bench {

template <typename First, typename Second>
auto TakeTurns(int run, First&& first, Second&& second) {
    using Result = std::pair<decltype(first()), decltype(second())>;
    if (run % 2 == 0) {
        auto a = first();
        return Result{std::move(a), second()};
    }
    auto b = second();
    return Result{first(), std::move(b)};
}

}  // namespace vornak::bench
