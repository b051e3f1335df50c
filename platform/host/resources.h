// Resources carried by the executable, found by type name and integer id.
//
// On Linux the build links every file named in resources/CMakeLists.txt into the program as a
// read-only byte array; a Windows build would serve the same type names and ids from the
// executable's own resource section. The bytes stay valid for the life of the process and are
// never copied, written or freed.
#pragma once

#include <cstdint>
#include <string_view>

namespace host {

struct ResourceBytes {
    const std::uint8_t* data = nullptr;  // null when the executable does not carry the resource
    std::uint32_t size = 0;
};

// Type names are the literal resource-type strings: "MediaData", "CustomData", "SOUND", "BASS",
// "BITMAP", "ICON". Type names compare without regard to case, as resource types do.
ResourceBytes FindResource(std::string_view type, int id);

}  // namespace host
