// Both mesh-file readers on arbitrary bytes. The first byte chooses: even reads the rest as an
// .EMD model, odd as an .ESA animation for a model of (byte >> 1) bones. Whatever decodes must
// rewrite, decode again and rewrite to the same bytes (bytes, not values: NaNs compare unequal).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> body(data + 1, size - 1);
    std::vector<std::uint8_t> bytes;
    if ((data[0] & 1) == 0) {
        model::emd::ModelFile m, back;
        std::vector<std::uint8_t> again;
        if (FAILED(model::emd::ReadModel(body, m))) return 0;
        if (FAILED(model::emd::WriteModel(m, bytes)) || FAILED(model::emd::ReadModel(bytes, back)) ||
            FAILED(model::emd::WriteModel(back, again)) || again != bytes ||
            back.meshes.size() != m.meshes.size())
            std::abort();
        for (std::size_t i = 0; i < m.meshes.size(); ++i)
            if (back.meshes[i].renderVertices.size() != m.meshes[i].renderVertices.size()) std::abort();
    } else {
        const std::size_t bones = data[0] >> 1;
        model::esa::AnimationFile a, back;
        std::vector<std::uint8_t> again;
        std::size_t tracks = 0;
        (void)model::esa::CountAnimationTracks(body, tracks);
        if (FAILED(model::esa::ReadAnimation(body, bones, a))) return 0;
        if (FAILED(model::esa::WriteAnimation(a, bytes)) || FAILED(model::esa::ReadAnimation(bytes, bones, back)) ||
            FAILED(model::esa::WriteAnimation(back, again)) || again != bytes)
            std::abort();
        // The rewritten file holds exactly the model's bones, so the body must begin with it.
        if (bytes.size() > body.size() || !std::equal(bytes.begin(), bytes.end(), body.begin())) std::abort();
    }
    return 0;
}
