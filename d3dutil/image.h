// Images decoded from files held in memory, as plain 8-bit RGBA, and the pixel formats they are
// converted to. Nothing here depends on Direct3D: the format codes carry the same numbers as the
// Direct3D 8 D3DFORMAT values so the texture layer can pass them straight through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d3dutil {

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

// The pixel formats this library can write, numbered as D3DFORMAT.
enum class PixelFormat : std::uint32_t {
  Unknown = 0,
  R8G8B8 = 20,
  A8R8G8B8 = 21,
  X8R8G8B8 = 22,
  R5G6B5 = 23,
  X1R5G5B5 = 24,
  A1R5G5B5 = 25,
  A4R4G4B4 = 26,
  A8 = 28,
  X4R4G4B4 = 30,
  L8 = 50,
  A8L8 = 51,
  DXT1 = FourCC('D', 'X', 'T', '1'),
  DXT2 = FourCC('D', 'X', 'T', '2'),
  DXT3 = FourCC('D', 'X', 'T', '3'),
  DXT4 = FourCC('D', 'X', 'T', '4'),
  DXT5 = FourCC('D', 'X', 'T', '5'),
};

enum class ImageFileType { Bmp = 0, Jpg = 1, Tga = 2, Png = 3, Dds = 4 };

// Limits every decoder enforces before it allocates: no side longer than kMaxImageSide and no
// decoded image larger than kMaxImageBytes (RGBA8).
constexpr std::uint32_t kMaxImageSide = 16384;
constexpr std::size_t kMaxImageBytes = std::size_t{256} << 20;

// Rows top to bottom, 4 bytes per pixel in the order R, G, B, A.
struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;

  std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) { return rgba.data() + (std::size_t{y} * width + x) * 4; }
  const std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) const {
    return rgba.data() + (std::size_t{y} * width + x) * 4;
  }
};

// What the file said about itself.
struct ImageFileDescription {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t depth = 1;
  std::uint32_t mipLevels = 1;
  PixelFormat format = PixelFormat::Unknown;  // the closest format to the file's own pixels
  ImageFileType fileType = ImageFileType::Bmp;
};

// Checks width × height against the limits; on success allocates the image.
bool AllocateImage(std::uint32_t width, std::uint32_t height, Image& out, std::string* error);

// Recognises the file type from its bytes and decodes the top level (first face, first slice).
// Returns false with a short reason on any malformed, truncated or over-limit input.
bool DecodeImage(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info,
                 std::string* error);

// The individual decoders, for tests and fuzzing. Each expects its own file type.
bool DecodeBmp(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error);
bool DecodeTga(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error);
bool DecodeDds(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error);
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error);
bool DecodePng(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error);

}  // namespace d3dutil
