#include "media/resource_blob.h"

#include "platform/host/resources.h"

namespace media {

ResourceBlob OpenResourceBlob(std::string_view type, int id) {
    ResourceBlob blob;  // starts zeroed: a failed lookup leaves it empty
    const host::ResourceBytes found = host::FindResource(type, id);
    if (found.data == nullptr) return blob;
    blob.size = found.size;
    blob.data = found.data;
    return blob;
}

ResourceBlob OpenMediaBlob(int id) { return OpenResourceBlob("MediaData", id); }

}  // namespace media
