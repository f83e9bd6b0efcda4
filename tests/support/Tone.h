#pragma once
#include <cstddef>

namespace varnelo::test {

// Frequency of one channel from its upward zero crossings, each placed between
// samples by linear interpolation: `count` frames from `from`, the channel at
// `offset` in frames of `stride` values. 0 when fewer than two crossings.
template <class T>
double zeroCrossingFrequency(const T *data, std::size_t from, std::size_t count, std::size_t stride,
                             std::size_t offset, double rate) {
    int crossings = 0;
    double first = -1;
    double last = -1;
    for (std::size_t i = from + 1; i < from + count; ++i) {
        const double a = double(data[(i - 1) * stride + offset]);
        const double b = double(data[i * stride + offset]);
        if (a < 0 && b >= 0) {
            const double at = double(i - 1) + (-a) / (b - a);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

} // namespace varnelo::test
