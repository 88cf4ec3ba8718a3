// Float to integer conversion, truncating toward zero. A value that has no
// 32-bit integer (NaN, infinities, out of range) gives INT_MIN, as the x86
// conversion instruction does; the demo's brightness clamps then turn it to 0.
#pragma once

#include <climits>

inline int TruncToInt(double value) {
    if (value > -2147483649.0 && value < 2147483648.0) return int(value);
    return INT_MIN;
}
