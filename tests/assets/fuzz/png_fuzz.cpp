// Fuzz target: the PNG decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "assets/images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qor::Picture picture;
    std::string error;
    if (qor::DecodePng(data, size, picture, error)) {
        // A decoded picture is whole and within the limits.
        if (picture.width < 1 || picture.height < 1 || picture.width > qor::kMaxPictureSide ||
            picture.height > qor::kMaxPictureSide || picture.argb.size() != size_t(picture.width) * picture.height)
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();   // a rejection always says why
    }
    return 0;
}
