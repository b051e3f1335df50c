// The preview picture (bitmap resource 432) turned into pixels the host can draw.
//
// Accepts a Windows bitmap with or without its 14-byte file header: a BITMAPINFOHEADER (or a
// later, larger header) followed by uncompressed pixels of 24 or 32 bits, rows bottom-up
// (positive height) or top-down (negative height), each row padded to 4 bytes.
// Limits: width and height 1..16384; every offset and size is checked against the bytes there
// before it is read; anything else (compression, palettes, other depths, short data) gives
// nothing, and the preview then shows its black background.
#pragma once

#include "platform/host/host_port.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

std::optional<host::Picture> DecodePreviewBitmap(std::span<const std::uint8_t> bytes);
