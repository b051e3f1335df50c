// The media archive reader: finds one named file in an archive blob, produces its full contents in
// a freshly allocated buffer and proves them with the entry's CRC-32.
//
// Limits (hold for any blob contents):
//   - reads only inside the blob [data, data + size); every header field is checked against the
//     bytes left before it is used;
//   - the block walk only moves forwards (each block is at least 7 bytes), so a lookup ends after
//     at most size / 7 blocks;
//   - an entry is extracted only when its header is consistent: name and data area inside the
//     blob, a stored entry's data at least its unpacked size, a compressed entry's unpacked size
//     within what its packed bytes can describe, and at most kMaxEntrySize bytes;
//   - names longer than 259 bytes and passwords longer than 255 bytes fail the lookup;
//   - every failure frees what the lookup allocated and returns no buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "media/cipher20.h"
#include "media/resource_blob.h"
#include "media/unpack.h"

namespace media {

// The complete bytes of one archive file. Whoever receives it owns the buffer and releases it with
// std::free (or FreeMemFile) once parsed.
struct MemFile {
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
};

inline void FreeMemFile(MemFile& file) {
    std::free(file.data);
    file = {};
}

// One file entry's header fields, as the block walk sees them.
struct ArchiveEntry {
    std::string name;  // as stored (backslash separators)
    std::uint16_t flags = 0;
    std::uint32_t packSize = 0;
    std::uint32_t unpSize = 0;
    std::uint8_t hostOs = 0;
    std::uint32_t fileCrc = 0;
    std::uint32_t fileTime = 0;
    std::uint8_t unpVer = 0;
    std::uint8_t method = 0;
    std::uint32_t fileAttr = 0;
    std::uint32_t dataOffset = 0;  // where the data area starts in the blob
};

class MediaArchive {
public:
    // The largest file a lookup produces (the largest asset is well under 1 MiB).
    static constexpr std::uint32_t kMaxEntrySize = 256u << 20;

    // The process's one archive reader.
    static MediaArchive& Instance();

    // Looks `name` up (any letter case, '/' or '\' as separators) in the archive `blob` and, on
    // success, hands the file's bytes to `out`. `password` decrypts encrypted entries; without it
    // they fail. On failure `out` is empty. The blob's offset is moved freely.
    bool ExtractFile(ResourceBlob& blob, std::string_view name, MemFile& out,
                     std::string_view password = {});

    // Every file entry up to the end of the walk (stops where a lookup would stop). Empty when the
    // blob is not an archive.
    static std::vector<ArchiveEntry> ListEntries(ResourceBlob blob);

    // Gives back the decoding window kept between lookups.
    void ReleaseBuffers();

    ~MediaArchive();

private:
    bool Lookup(ResourceBlob& blob, std::string_view name, MemFile& out, std::string_view password);

    std::uint8_t* window_ = nullptr;
    Unpacker unpacker_;
    Cipher20 cipher_;
};

// Shorthand for MediaArchive::Instance().ExtractFile(...).
inline bool ExtractFile(ResourceBlob& blob, std::string_view name, MemFile& out,
                        std::string_view password = {}) {
    return MediaArchive::Instance().ExtractFile(blob, name, out, password);
}

}  // namespace media
