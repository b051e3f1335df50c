// Fuzzes the glTF converter two ways (first byte picks): the rest of the input as a whole
// .gltf/.glb file, or as the binary chunk of a .glb whose JSON is fixed (a skinned, animated,
// textured strip), so mutations reach the accessor, skin and animation code behind a valid
// document. Whatever converts must encode and read back as a valid model and animation.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"
#include "tools/meshconv/convert.h"

namespace {

const char kDocument[] = R"json({"scene":0,"scenes":[{"nodes":[0,5]}],"nodes":[{"name":"Armature","children":[1],"rotation":[0.25881904510252074,0.0,0.0,0.9659258262890683],"scale":[0.5,0.5,0.5]},{"name":"Lower","children":[2],"translation":[0.25,0,0],"rotation":[0.0,0.0,0.08715574274765817,0.9961946980917455]},{"name":"Upper","children":[3],"translation":[0,2,0]},{"name":"Tip","translation":[0,2,0]},{"name":"StripMesh","mesh":0,"skin":0},{"name":"Holder","children":[4],"translation":[100,0,0]}],"meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"JOINTS_0":2,"WEIGHTS_0":3},"indices":4,"material":0}]}],"skins":[{"joints":[2,1,3],"inverseBindMatrices":5}],"animations":[{"name":"Bend","samplers":[{"input":6,"output":7},{"input":6,"output":8}],"channels":[{"sampler":0,"target":{"node":2,"path":"rotation"}},{"sampler":1,"target":{"node":1,"path":"translation"}}]},{"name":"Jump","samplers":[{"input":9,"output":10,"interpolation":"STEP"}],"channels":[{"sampler":0,"target":{"node":1,"path":"translation"}}]}],"asset":{"version":"2.0"},"buffers":[{"byteLength":@@}],"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":72},{"buffer":0,"byteOffset":72,"byteLength":72},{"buffer":0,"byteOffset":144,"byteLength":24},{"buffer":0,"byteOffset":168,"byteLength":96},{"buffer":0,"byteOffset":264,"byteLength":24},{"buffer":0,"byteOffset":288,"byteLength":192},{"buffer":0,"byteOffset":480,"byteLength":12},{"buffer":0,"byteOffset":492,"byteLength":48},{"buffer":0,"byteOffset":540,"byteLength":36},{"buffer":0,"byteOffset":576,"byteLength":8},{"buffer":0,"byteOffset":584,"byteLength":24}],"accessors":[{"bufferView":0,"componentType":5126,"count":6,"type":"VEC3","min":[0.0,0.0,0.0],"max":[1.0,2.0,0.0]},{"bufferView":1,"componentType":5126,"count":6,"type":"VEC3"},{"bufferView":2,"componentType":5121,"count":6,"type":"VEC4"},{"bufferView":3,"componentType":5126,"count":6,"type":"VEC4"},{"bufferView":4,"componentType":5123,"count":12,"type":"SCALAR"},{"bufferView":5,"componentType":5126,"count":3,"type":"MAT4"},{"bufferView":6,"componentType":5126,"count":3,"type":"SCALAR","min":[0.0],"max":[1.0]},{"bufferView":7,"componentType":5126,"count":3,"type":"VEC4"},{"bufferView":8,"componentType":5126,"count":3,"type":"VEC3"},{"bufferView":9,"componentType":5126,"count":2,"type":"SCALAR","min":[0.0],"max":[0.4000000059604645]},{"bufferView":10,"componentType":5126,"count":2,"type":"VEC3"}],"materials":[{"name":"M","pbrMetallicRoughness":{"baseColorTexture":{"index":0}},"normalTexture":{"index":0},"extras":{"wrapU":1,"ambient":[0.1,0.2,0.3]}}],"samplers":[{"wrapS":33648,"wrapT":33071}],"images":[{"uri":"a%20b.tga"}],"textures":[{"sampler":0,"source":0}]})json";

std::vector<unsigned char> Glb(const std::uint8_t* bin, std::size_t size) {
    std::string json = kDocument;
    json.replace(json.find("@@"), 2, std::to_string(size));
    while (json.size() % 4) json += ' ';
    const std::size_t padded = (size + 3) / 4 * 4;
    std::vector<unsigned char> out;
    auto u32 = [&](std::uint32_t v) {
        const auto* p = reinterpret_cast<const unsigned char*>(&v);
        out.insert(out.end(), p, p + 4);
    };
    out.insert(out.end(), {'g', 'l', 'T', 'F'});
    u32(2);
    u32(static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + padded));
    u32(static_cast<std::uint32_t>(json.size()));
    u32(0x4E4F534Au);
    out.insert(out.end(), json.begin(), json.end());
    u32(static_cast<std::uint32_t>(padded));
    u32(0x004E4942u);
    out.insert(out.end(), bin, bin + size);
    out.resize(out.size() + (padded - size), 0);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const std::vector<unsigned char> file =
        data[0] & 1 ? Glb(data + 1, size - 1) : std::vector<unsigned char>(data + 1, data + size);
    meshconv::ConvertOptions options;
    options.wantAnimation = (data[0] & 2) == 0;
    options.animationName = data[0] & 4 ? "Jump" : "";
    try {
        const meshconv::ConvertResult r = meshconv::ConvertBytes(file, "/nonexistent", options);
        std::vector<std::uint8_t> bytes;
        model::emd::ModelFile back;
        if (FAILED(model::emd::WriteModel(r.model, bytes)) || FAILED(model::emd::ReadModel(bytes, back))) std::abort();
        if (r.animation) {
            bytes.clear();
            model::esa::AnimationFile anim;
            if (FAILED(model::esa::WriteAnimation(*r.animation, bytes)) ||
                FAILED(model::esa::ReadAnimation(bytes, back.bones.size(), anim)))
                std::abort();
        }
    } catch (const meshconv::ConvertError&) {
    }
    return 0;
}
