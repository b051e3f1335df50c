// Feeds arbitrary bytes to the image decoders (type recognised from the bytes) and, for small
// results, through the mip and conversion steps the texture loader runs on them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "d3dutil/image.h"
#include "d3dutil/image_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  d3dutil::Image image;
  d3dutil::ImageFileDescription info;
  if (!d3dutil::DecodeImage(data, size, image, info, nullptr)) return 0;
  if (image.width * image.height > 4096) return 0;
  d3dutil::Image level;
  if (!d3dutil::NextMipLevel(image, d3dutil::ResampleFilter::Box, level)) return 0;
  const auto format = d3dutil::PixelFormat::DXT5;
  std::vector<std::uint8_t> out(d3dutil::RowBytes(format, level.width) * d3dutil::RowCount(format, level.height));
  d3dutil::EncodePixels(level, format, out.data(), d3dutil::RowBytes(format, level.width));
  return 0;
}
