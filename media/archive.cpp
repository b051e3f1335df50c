#include "media/archive.h"

#include <cstring>
#include <memory>

#include "media/crc32.h"
#include "media/rar_format.h"

namespace media {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using HeapBytes = std::unique_ptr<std::uint8_t, FreeDeleter>;

// The only way bytes leave the blob: all or nothing, inside [0, size).
bool ReadBlob(ResourceBlob& blob, void* dst, std::uint32_t n) {
    if (n == 0 || blob.data == nullptr || blob.offset > blob.size || n > blob.size - blob.offset) return false;
    std::memcpy(dst, blob.data + blob.offset, n);
    blob.offset += n;
    return true;
}

std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Reads the marker and the main header; leaves the offset at the first block.
bool OpenArchive(ResourceBlob& blob, std::uint16_t& mainFlags) {
    blob.offset = 0;
    std::uint8_t marker[rar::kMarkerSize];
    if (!ReadBlob(blob, marker, sizeof marker)) return false;
    // The old four-byte format has another block layout, and anything else is not an archive.
    if (std::memcmp(marker, rar::kMarker.data(), sizeof marker) != 0 &&
        std::memcmp(marker, rar::kMarkerUnique.data(), sizeof marker) != 0)
        return false;
    std::uint8_t main[rar::kMainHeaderSize];
    if (!ReadBlob(blob, main, sizeof main)) return false;
    mainFlags = U16(main + 3);
    const std::uint16_t headSize = U16(main + 5);
    if (headSize < rar::kMainHeaderSize) return false;
    const std::uint32_t skip = headSize - rar::kMainHeaderSize;
    if (skip > blob.size - blob.offset) return false;
    blob.offset += skip;
    return true;
}

struct Block {
    ArchiveEntry entry;
    const std::uint8_t* name = nullptr;
    std::uint32_t nameSize = 0;
    std::uint64_t next = 0;  // start of the following block
};

enum class Walk { File, Sub, End };

// Walks from the current offset to the next file block (offset left at its data area) or
// sub-block (offset left at its start).
Walk NextFileBlock(ResourceBlob& blob, Block& b) {
    namespace off = rar::file_offset;
    for (;;) {
        const std::uint32_t start = blob.offset;
        std::uint8_t h[rar::kFileHeaderSize];
        if (!ReadBlob(blob, h, sizeof h)) return Walk::End;
        const std::uint8_t type = h[off::kHeadType];
        const std::uint16_t flags = U16(h + off::kFlags);
        const std::uint16_t headSize = U16(h + off::kHeadSize);
        if (headSize < rar::kMinBlockSize) return Walk::End;
        const std::uint32_t packSize = U32(h + off::kPackSize);
        // A file block always carries its data area (some writers leave the has-data flag clear);
        // other blocks only with the flag. 64-bit so that a crafted size cannot wrap the walk.
        const bool hasData = type == rar::kHeadFile || (flags & rar::kBlockHasData) != 0;
        const std::uint64_t next = std::uint64_t(start) + headSize + (hasData ? packSize : 0);
        if (type == rar::kHeadSub) {
            blob.offset = start;
            return Walk::Sub;
        }
        if (type == rar::kHeadFile) {
            const std::uint16_t nameSize = U16(h + off::kNameSize);
            // The header must hold its name, and the name must lie inside the blob.
            if (headSize < rar::kFileHeaderSize + nameSize) return Walk::End;
            if (std::uint64_t(start) + headSize > blob.size) return Walk::End;
            ArchiveEntry& e = b.entry;
            e.flags = flags;
            e.packSize = packSize;
            e.unpSize = U32(h + off::kUnpSize);
            e.hostOs = h[off::kHostOs];
            e.fileCrc = U32(h + off::kFileCrc);
            e.fileTime = U32(h + off::kFileTime);
            e.unpVer = h[off::kUnpVer];
            e.method = h[off::kMethod];
            e.fileAttr = U32(h + off::kFileAttr);
            // Extra header fields, if any, sit between the name and the data area.
            e.dataOffset = start + headSize;
            b.name = blob.data + start + rar::kFileHeaderSize;
            b.nameSize = nameSize;
            b.next = next;
            blob.offset = e.dataOffset;
            return Walk::File;
        }
        if (next > blob.size) return Walk::End;
        blob.offset = static_cast<std::uint32_t>(next);
    }
}

// Names compare with both separators as '_' and ASCII letters in upper case.
std::uint8_t FoldNameByte(std::uint8_t c) {
    if (c == '\\' || c == '/') return '_';
    if (c >= 'a' && c <= 'z') return std::uint8_t(c - 'a' + 'A');
    return c;
}

bool SameName(const std::uint8_t* stored, std::uint32_t storedSize, std::string_view wanted) {
    if (storedSize != wanted.size()) return false;
    for (std::uint32_t i = 0; i < storedSize; ++i)
        if (FoldNameByte(stored[i]) != FoldNameByte(static_cast<std::uint8_t>(wanted[i]))) return false;
    return true;
}

// Each bit of compressed input describes at most one 260-byte match.
bool UnpackedSizePlausible(std::uint32_t unpSize, std::uint32_t packed) {
    return std::uint64_t(unpSize) <= (std::uint64_t(packed) + 1) * 8 * 260;
}

}  // namespace

MediaArchive& MediaArchive::Instance() {
    static MediaArchive archive;
    return archive;
}

MediaArchive::~MediaArchive() { ReleaseBuffers(); }

void MediaArchive::ReleaseBuffers() {
    std::free(window_);
    window_ = nullptr;
}

bool MediaArchive::ExtractFile(ResourceBlob& blob, std::string_view name, MemFile& out,
                               std::string_view password) {
    out = {};
    const bool found = Lookup(blob, name, out, password);
    cipher_.Wipe();
    if (!found) {
        std::free(out.data);
        out = {};
    }
    return found;
}

bool MediaArchive::Lookup(ResourceBlob& blob, std::string_view name, MemFile& out, std::string_view password) {
    if (name.size() > rar::kMaxNameSize || password.size() > Cipher20::kMaxPassword) return false;
    std::uint16_t mainFlags = 0;
    if (!OpenArchive(blob, mainFlags)) return false;
    const bool solidArchive = (mainFlags & rar::kMainSolid) != 0;

    // The window stays with the reader between lookups; the decoder clears what it used.
    bool windowIsZero = false;
    if (window_ == nullptr) {
        window_ = static_cast<std::uint8_t*>(std::calloc(rar::kWindowSize, 1));
        if (window_ == nullptr) return false;
        windowIsZero = true;
    }
    unpacker_.Reset(window_, windowIsZero);

    for (;;) {
        Block b;
        if (NextFileBlock(blob, b) != Walk::File) return false;
        const ArchiveEntry& e = b.entry;
        const bool wanted = SameName(b.name, b.nameSize, name);
        if (wanted || solidArchive) {
            if (e.unpVer < rar::kMinUnpVer || e.unpVer > rar::kMaxUnpVer) return false;
            const std::uint32_t packed = e.packSize;
            if (e.dataOffset > blob.size || packed > blob.size - e.dataOffset) return false;  // truncated
            const std::uint8_t* src = blob.data + e.dataOffset;
            const bool stored = e.method == rar::kMethodStore;
            if (!wanted && stored) {
                // Stored entries leave the decoder state alone: nothing to do.
            } else {
                HeapBytes plain;
                if (e.flags & rar::kFileEncrypted) {
                    // Only the version-2.0 cipher is known; without a password there is no way in.
                    if (password.empty() || e.unpVer != rar::kUnpVer) return false;
                    plain.reset(static_cast<std::uint8_t*>(std::malloc(packed ? packed : 1)));
                    if (!plain) return false;
                    std::memcpy(plain.get(), src, packed);
                    if (!cipher_.SetKey(password)) return false;
                    cipher_.Decrypt(plain.get(), packed);
                    src = plain.get();
                }
                std::uint32_t filled = 0;
                HeapBytes output;
                if (wanted) {
                    if (e.unpSize > kMaxEntrySize) return false;
                    if (stored ? e.unpSize > packed : !UnpackedSizePlausible(e.unpSize, packed)) return false;
                    output.reset(static_cast<std::uint8_t*>(std::malloc(e.unpSize ? e.unpSize : 1)));
                    if (!output) return false;
                }
                if (stored) {
                    if (e.unpSize) std::memcpy(output.get(), src, e.unpSize);
                    filled = e.unpSize;
                } else {
                    const Unpacker::Result r = unpacker_.Unpack(src, packed, (e.flags & rar::kFileSolid) != 0,
                                                                output.get(), e.unpSize, filled);
                    if (wanted && r != Unpacker::Result::Complete) return false;
                }
                if (wanted) {
                    if (filled != e.unpSize || FileCrc32(output.get(), filled) != e.fileCrc) return false;
                    out.data = output.release();
                    out.size = filled;
                    return true;
                }
            }
        }
        if (b.next >= blob.size) return false;  // no block can follow
        blob.offset = static_cast<std::uint32_t>(b.next);
    }
}

std::vector<ArchiveEntry> MediaArchive::ListEntries(ResourceBlob blob) {
    std::vector<ArchiveEntry> entries;
    std::uint16_t mainFlags = 0;
    if (!OpenArchive(blob, mainFlags)) return entries;
    for (;;) {
        Block b;
        if (NextFileBlock(blob, b) != Walk::File) break;
        b.entry.name.assign(reinterpret_cast<const char*>(b.name), b.nameSize);
        entries.push_back(b.entry);
        if (b.next >= blob.size) break;
        blob.offset = static_cast<std::uint32_t>(b.next);
    }
    return entries;
}

}  // namespace media
