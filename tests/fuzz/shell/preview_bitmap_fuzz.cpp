// The preview picture decoder on arbitrary bytes: it must refuse or decode, never read outside them.
#include "shell/preview_bitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto picture = DecodePreviewBitmap(std::span<const std::uint8_t>(data, size));
    if (picture) {
        volatile std::uint8_t sink = 0;
        for (std::uint8_t byte : picture->rgb) sink = static_cast<std::uint8_t>(sink ^ byte);
        (void)sink;
    }
    return 0;
}
