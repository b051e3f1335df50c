// ExtractFile on arbitrary bytes. An input whose first byte is odd is taken as a raw compressed
// stream and wrapped into a one-entry archive (unpacked size from the next two bytes), so the
// decoder is reached without the fuzzer having to discover the container first.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/archive.h"
#include "media/crc32.h"
#include "media/rar_format.h"

namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

std::vector<std::uint8_t> WrapStream(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t unpSize = size >= 3 ? (std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8) * 4 : 0;
    const bool solid = size >= 1 && (data[0] & 2);
    const std::uint8_t* packed = data + (size >= 3 ? 3 : size);
    const std::size_t packedSize = size - (size >= 3 ? 3 : size);
    std::vector<std::uint8_t> b(media::rar::kMarker.begin(), media::rar::kMarker.end());
    Put16(b, 0);
    b.push_back(media::rar::kHeadMain);
    Put16(b, solid ? media::rar::kMainSolid : 0);
    Put16(b, 13);
    Put16(b, 0);
    Put32(b, 0);
    // Two entries share the stream so that solid continuation is exercised too.
    for (int i = 0; i < 2; ++i) {
        Put16(b, 0);
        b.push_back(media::rar::kHeadFile);
        Put16(b, media::rar::kBlockHasData | (solid && i == 1 ? media::rar::kFileSolid : 0));
        Put16(b, 33);
        Put32(b, std::uint32_t(packedSize));
        Put32(b, unpSize);
        b.push_back(media::rar::kHostWin32);
        Put32(b, 0);
        Put32(b, 0);
        b.push_back(media::rar::kUnpVer);
        b.push_back(media::rar::kMethodNormal);
        Put16(b, 1);
        Put32(b, media::rar::kAttrArchive);
        b.push_back(std::uint8_t('a' + i));
        b.insert(b.end(), packed, packed + packedSize);
    }
    return b;
}

void TryAll(const std::uint8_t* data, std::size_t size) {
    media::ResourceBlob blob = media::BlobOverBytes(data, size);
    std::vector<std::string> names = {"a", "b", "missing"};
    for (const media::ArchiveEntry& e : media::MediaArchive::ListEntries(blob)) {
        if (names.size() >= 8) break;
        names.push_back(e.name);
    }
    for (const std::string& name : names) {
        for (const char* password : {"", "password"}) {
            media::MemFile file;
            if (media::ExtractFile(blob, name, file, password)) {
                // A success must be exactly what its CRC proves: touch every byte.
                volatile std::uint32_t crc = media::FileCrc32(file.data, file.size);
                (void)crc;
            } else if (file.data != nullptr || file.size != 0) {
                __builtin_trap();
            }
            media::FreeMemFile(file);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && (data[0] & 1)) {
        const std::vector<std::uint8_t> archive = WrapStream(data, size);
        TryAll(archive.data(), archive.size());
    } else {
        // Copy so that reads past the end are caught exactly.
        std::vector<std::uint8_t> copy(data, data + size);
        TryAll(copy.data(), copy.size());
    }
    return 0;
}
