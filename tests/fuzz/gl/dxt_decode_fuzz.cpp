// Feeds arbitrary block data and sizes to the software DXT decoder.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8types.h"
#include "platform/gl/dxt_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static constexpr D3DFORMAT formats[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5, D3DFMT_A8R8G8B8};
    const D3DFORMAT format = formats[data[0] % 6];
    const int width = 1 + data[1] % 64, height = 1 + data[2] % 64;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
    gl::DecodeDxt(static_cast<std::uint32_t>(format), data + 3, size - 3, width, height, out.data());
    return 0;
}
