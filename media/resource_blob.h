// Read-only views of the resources the executable carries.
//
// A ResourceBlob never owns its bytes: they belong to the program image (or, in tests and tools,
// to whoever built the blob) and stay valid as long as that owner. Only the archive reader moves
// the offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace media {

struct ResourceBlob {
    const std::uint8_t* data = nullptr;  // null when the resource was not found
    std::uint32_t size = 0;              // 0 when not found
    std::uint32_t offset = 0;            // read cursor, 0 after opening
};

// The "MediaData" resource with the given id (452 digits, 453 media); empty when not carried.
ResourceBlob OpenMediaBlob(int id);

// Any carried resource by type name and id; empty when not carried.
ResourceBlob OpenResourceBlob(std::string_view type, int id);

// A blob over caller-owned bytes (tests, tools). Sizes above 4 GiB − 1 give the empty blob.
inline ResourceBlob BlobOverBytes(const void* data, std::size_t size) {
    ResourceBlob blob;
    if (data != nullptr && size <= 0xFFFFFFFFu) {
        blob.data = static_cast<const std::uint8_t*>(data);
        blob.size = static_cast<std::uint32_t>(size);
    }
    return blob;
}

}  // namespace media
