// Generated test inputs for the archive writer: text, binary, PCM, images; nothing large is committed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_writer_test {

using Bytes = std::vector<std::uint8_t>;

struct NamedFile {
    std::string name;  // '/' separators
    Bytes data;
};

Bytes RandomBytes(std::size_t n, std::uint32_t seed);
Bytes Text(std::size_t n, std::uint32_t seed);
// Little-endian PCM of a few mixed tones with noise; bits 8 or 16, 1..4 interleaved channels.
Bytes Pcm(std::size_t frames, int bits, int channels, std::uint32_t seed);
Bytes Wav(std::size_t frames, int bits, int channels, std::uint32_t seed);
// 24-bit RGB rows of a smooth picture with some noise (like an uncompressed texture).
Bytes Image(int width, int height, std::uint32_t seed);

// A mixed set: every kind above, the sizes 0, 1 and 1,048,577, files that change kind midway.
std::vector<NamedFile> MixedSet();

}  // namespace media_writer_test
