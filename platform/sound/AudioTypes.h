#pragma once
#include <cstdint>
#include <vector>

namespace varnelo {

// Audio moves between the components as interleaved 32-bit signed integer
// frames (full scale = INT32_MAX). 32 bits keep 24- and 32-bit sources exact;
// 16-bit sources occupy the upper half.
using Sample = std::int32_t;
using SampleBlock = std::vector<Sample>;

} // namespace varnelo
