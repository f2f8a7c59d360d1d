#pragma once
// Order statistics of repeated measurements.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The q-quantile (0.5 = median), interpolated between neighbours.
template <typename T>
T quantile(std::vector<T> values, double q)
{
    std::sort(values.begin(), values.end());
    const double at = q * double(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return static_cast<T>(values[low] + (values[high] - values[low]) * (at - double(low)));
}

} // namespace bench
