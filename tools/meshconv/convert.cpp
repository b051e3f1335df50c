// glTF -> .EMD / .ESA. All geometry is gathered in glTF space (doubles) and mirrored into model
// space (z -> -z) only when the output records are written.
#include "tools/meshconv/convert.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "tools/meshconv/gltf_loader.h"

#include "tools/meshconv/gltf_math.h"

namespace meshconv {
namespace {

using math::Mat4;
using math::Quat;
using math::Vec3;
using Vec2 = std::array<double, 2>;

[[noreturn]] void Fail(const std::string& message) { throw ConvertError(message); }

// Every number written goes through here: what does not fit a finite float (a node transform
// of 1e300, say) is refused rather than written as infinity.
float ToFloat(double d) {
    if (!(std::fabs(d) <= std::numeric_limits<float>::max()))
        Fail("a converted value (" + std::to_string(d) + ") does not fit a 32-bit float");
    return static_cast<float>(d);
}

// ---------------------------------------------------------------------------------------------
// Accessors, bounds-checked against their buffer views and buffers.

struct AccessorBytes {
    const unsigned char* base = nullptr;  // null: the accessor has no buffer view (all zeros)
    std::size_t stride = 0;
    std::size_t count = 0;
    int componentType = 0;
    int components = 0;
    int componentSize = 0;
    bool normalized = false;
};

double ReadComponent(const unsigned char* p, int type, bool normalized) {
    switch (type) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return normalized ? p[0] / 255.0 : p[0];
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
            const double v = static_cast<std::int8_t>(p[0]);
            return normalized ? std::max(v / 127.0, -1.0) : v;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            return normalized ? v / 65535.0 : v;
        }
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
            std::int16_t v;
            std::memcpy(&v, p, 2);
            return normalized ? std::max(v / 32767.0, -1.0) : v;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: return 0;
    }
}

class Accessors {
public:
    explicit Accessors(const tinygltf::Model& m) : m_(m) {}

    AccessorBytes Locate(int index, const std::string& what) const {
        if (index < 0 || static_cast<std::size_t>(index) >= m_.accessors.size())
            Fail(what + ": accessor " + std::to_string(index) + " out of range");
        const tinygltf::Accessor& a = m_.accessors[index];
        if (a.sparse.isSparse) Fail(what + ": sparse accessors are not supported");
        AccessorBytes r;
        r.componentType = a.componentType;
        r.componentSize = tinygltf::GetComponentSizeInBytes(static_cast<std::uint32_t>(a.componentType));
        r.components = tinygltf::GetNumComponentsInType(static_cast<std::uint32_t>(a.type));
        r.normalized = a.normalized;
        r.count = a.count;
        if (r.componentSize <= 0 || r.components <= 0 || r.componentSize > 4)
            Fail(what + ": accessor " + std::to_string(index) + " has an unknown component or element type");
        const std::size_t element = static_cast<std::size_t>(r.componentSize) * r.components;
        if (a.bufferView < 0) {
            // All zeros by definition; the count is all there is to check.
            if (r.count > (std::size_t{1} << 24))
                Fail(what + ": accessor " + std::to_string(index) + " without a buffer view claims " +
                     std::to_string(r.count) + " elements");
            return r;
        }
        if (static_cast<std::size_t>(a.bufferView) >= m_.bufferViews.size())
            Fail(what + ": buffer view " + std::to_string(a.bufferView) + " out of range");
        const tinygltf::BufferView& v = m_.bufferViews[a.bufferView];
        if (v.buffer < 0 || static_cast<std::size_t>(v.buffer) >= m_.buffers.size())
            Fail(what + ": buffer " + std::to_string(v.buffer) + " out of range");
        const tinygltf::Buffer& b = m_.buffers[v.buffer];
        if (v.byteOffset > b.data.size() || v.byteLength > b.data.size() - v.byteOffset)
            Fail(what + ": buffer view " + std::to_string(a.bufferView) + " runs past the end of its buffer (" +
                 std::to_string(b.data.size()) + " bytes)");
        r.stride = v.byteStride ? v.byteStride : element;
        if (r.stride < element) Fail(what + ": byte stride smaller than the element");
        if (r.count > 0) {
            if (a.byteOffset > v.byteLength || element > v.byteLength - a.byteOffset ||
                (r.count - 1) > (v.byteLength - a.byteOffset - element) / r.stride)
                Fail(what + ": accessor " + std::to_string(index) + " runs past the end of its buffer view");
        }
        r.base = b.data.data() + v.byteOffset + a.byteOffset;
        return r;
    }

    // count * components doubles: float components, or normalized integers scaled to [0, 1] or [-1, 1].
    std::vector<double> Floats(int index, int components, const std::string& what) const {
        const AccessorBytes r = Locate(index, what);
        if (r.components != components)
            Fail(what + ": expected " + std::to_string(components) + " components, the accessor has " +
                 std::to_string(r.components));
        if (r.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT && !r.normalized)
            Fail(what + ": expected float (or normalized integer) components");
        std::vector<double> out(r.count * components, 0.0);
        if (!r.base) return out;
        for (std::size_t i = 0; i < r.count; ++i)
            for (int c = 0; c < components; ++c)
                out[i * components + c] =
                    ReadComponent(r.base + i * r.stride + c * r.componentSize, r.componentType, r.normalized);
        for (double d : out)
            if (!std::isfinite(d)) Fail(what + ": holds a value that is not finite");
        return out;
    }

    // Unsigned integers (indices, joints): count * components values.
    std::vector<std::uint32_t> Uints(int index, int components, const std::string& what) const {
        const AccessorBytes r = Locate(index, what);
        if (r.components != components)
            Fail(what + ": expected " + std::to_string(components) + " components, the accessor has " +
                 std::to_string(r.components));
        if (r.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            r.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
            r.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
            Fail(what + ": expected unsigned integer components");
        std::vector<std::uint32_t> out(r.count * components, 0);
        if (!r.base) return out;
        for (std::size_t i = 0; i < r.count; ++i)
            for (int c = 0; c < components; ++c)
                out[i * components + c] = static_cast<std::uint32_t>(
                    ReadComponent(r.base + i * r.stride + c * r.componentSize, r.componentType, false));
        return out;
    }

private:
    const tinygltf::Model& m_;
};

// ---------------------------------------------------------------------------------------------
// Hash keys over float bits (so merging is exact equality of what is written).

std::uint32_t Bits(double d) {
    // Out-of-range values only need a stable key here; writing them is refused later.
    const double clamped = std::isnan(d) ? 0.0 : std::clamp(d, -1.0 * std::numeric_limits<float>::max(),
                                                            1.0 * std::numeric_limits<float>::max());
    float f = static_cast<float>(clamped) + 0.0f;  // -0 and +0 merge
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

template <std::size_t N>
struct KeyHash {
    std::size_t operator()(const std::array<std::uint32_t, N>& k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (std::uint32_t v : k) {
            h ^= v;
            h *= 1099511628211ull;
            h ^= h >> 29;
        }
        return static_cast<std::size_t>(h);
    }
};

template <std::size_t N, typename V>
using KeyMap = std::unordered_map<std::array<std::uint32_t, N>, V, KeyHash<N>>;

// ---------------------------------------------------------------------------------------------
// The node hierarchy of the chosen scene.

struct Scene {
    std::vector<int> parent;     // per node, -1 for roots
    std::vector<int> order;      // nodes of the scene, parents before children
    std::vector<char> inScene;
    std::vector<Mat4> local;     // rest transforms
    std::vector<Mat4> global;
};

Mat4 LocalMatrix(const tinygltf::Node& n, const Vec3* t, const Quat* r, const Vec3* s, int index) {
    const std::string what = "node " + std::to_string(index) + " (" + n.name + ")";
    if (!n.matrix.empty()) {
        if (n.matrix.size() != 16) Fail(what + ": matrix must have 16 numbers");
        if (t || r || s) Fail(what + ": a node with a matrix cannot be animated");
        Mat4 m;
        for (int i = 0; i < 16; ++i) m.m[i] = n.matrix[i];
        return m;
    }
    Vec3 tt{0, 0, 0}, ss{1, 1, 1};
    Quat rr{0, 0, 0, 1};
    if (!n.translation.empty()) {
        if (n.translation.size() != 3) Fail(what + ": translation must have 3 numbers");
        tt = {n.translation[0], n.translation[1], n.translation[2]};
    }
    if (!n.rotation.empty()) {
        if (n.rotation.size() != 4) Fail(what + ": rotation must have 4 numbers");
        rr = {n.rotation[0], n.rotation[1], n.rotation[2], n.rotation[3]};
    }
    if (!n.scale.empty()) {
        if (n.scale.size() != 3) Fail(what + ": scale must have 3 numbers");
        ss = {n.scale[0], n.scale[1], n.scale[2]};
    }
    return math::FromTrs(t ? *t : tt, r ? *r : rr, s ? *s : ss);
}

Scene BuildScene(const tinygltf::Model& m) {
    const std::size_t n = m.nodes.size();
    Scene sc;
    sc.parent.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i)
        for (int c : m.nodes[i].children) {
            if (c < 0 || static_cast<std::size_t>(c) >= n)
                Fail("node " + std::to_string(i) + ": child " + std::to_string(c) + " out of range");
            if (sc.parent[c] != -1 || static_cast<std::size_t>(c) == i)
                Fail("node " + std::to_string(c) + " has more than one parent");
            sc.parent[c] = static_cast<int>(i);
        }
    std::vector<int> roots;
    if (!m.scenes.empty()) {
        int s = m.defaultScene;
        if (s < 0) s = 0;
        if (static_cast<std::size_t>(s) >= m.scenes.size()) Fail("default scene " + std::to_string(s) + " out of range");
        for (int r : m.scenes[s].nodes) {
            if (r < 0 || static_cast<std::size_t>(r) >= n) Fail("scene node " + std::to_string(r) + " out of range");
            if (sc.parent[r] != -1) Fail("scene root node " + std::to_string(r) + " has a parent");
            roots.push_back(r);
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            if (sc.parent[i] == -1) roots.push_back(static_cast<int>(i));
    }
    sc.inScene.assign(n, 0);
    std::vector<int> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        if (sc.inScene[i]) Fail("node " + std::to_string(i) + " is reached twice in the scene");
        sc.inScene[i] = 1;
        sc.order.push_back(i);
        const auto& ch = m.nodes[i].children;
        for (auto it = ch.rbegin(); it != ch.rend(); ++it) stack.push_back(*it);
    }
    sc.local.resize(n);
    sc.global.resize(n);
    for (int i : sc.order) {
        sc.local[i] = LocalMatrix(m.nodes[i], nullptr, nullptr, nullptr, i);
        sc.global[i] = sc.parent[i] >= 0 ? sc.global[sc.parent[i]] * sc.local[i] : sc.local[i];
    }
    return sc;
}

// ---------------------------------------------------------------------------------------------
// Materials.

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct TextureInfo {
    std::string name;
    int wrapS = TINYGLTF_TEXTURE_WRAP_REPEAT, wrapT = TINYGLTF_TEXTURE_WRAP_REPEAT;
};

std::optional<TextureInfo> TextureOf(const tinygltf::Model& m, int texture, const std::string& what) {
    if (texture < 0) return std::nullopt;
    if (static_cast<std::size_t>(texture) >= m.textures.size())
        Fail(what + ": texture " + std::to_string(texture) + " out of range");
    const tinygltf::Texture& t = m.textures[texture];
    TextureInfo info;
    if (t.sampler >= 0) {
        if (static_cast<std::size_t>(t.sampler) >= m.samplers.size())
            Fail(what + ": sampler " + std::to_string(t.sampler) + " out of range");
        info.wrapS = m.samplers[t.sampler].wrapS;
        info.wrapT = m.samplers[t.sampler].wrapT;
    }
    if (t.source < 0) return info;  // no image: a sampler without a name
    if (static_cast<std::size_t>(t.source) >= m.images.size())
        Fail(what + ": image " + std::to_string(t.source) + " out of range");
    const tinygltf::Image& img = m.images[t.source];
    if (!img.uri.empty() && img.uri.rfind("data:", 0) != 0) {
        std::string uri = PercentDecode(img.uri);
        const std::size_t slash = uri.find_last_of("/\\");
        info.name = slash == std::string::npos ? uri : uri.substr(slash + 1);
    }
    if (info.name.empty()) info.name = img.name;
    return info;
}

std::int32_t WrapFlag(int mode, std::vector<std::string>& warnings, const std::string& what) {
    if (mode == TINYGLTF_TEXTURE_WRAP_MIRRORED_REPEAT) return 0;
    if (mode == TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE)
        warnings.push_back(what + ": CLAMP_TO_EDGE has no equivalent, stored as wrap");
    return 1;
}

bool ExtrasColour(const tinygltf::Value& extras, const char* key, float out[3], const std::string& what) {
    if (!extras.IsObject() || !extras.Has(key)) return false;
    const tinygltf::Value& v = extras.Get(key);
    if (!v.IsArray() || v.ArrayLen() < 3) Fail(what + ": extras \"" + key + "\" must be an array of 3 numbers");
    for (int i = 0; i < 3; ++i) {
        if (!v.Get(i).IsNumber()) Fail(what + ": extras \"" + key + "\" must be an array of 3 numbers");
        out[i] = ToFloat(v.Get(i).GetNumberAsDouble());
    }
    return true;
}

bool ExtrasString(const tinygltf::Value& extras, const char* key, std::string& out, const std::string& what) {
    if (!extras.IsObject() || !extras.Has(key)) return false;
    const tinygltf::Value& v = extras.Get(key);
    if (!v.IsString()) Fail(what + ": extras \"" + key + "\" must be a string");
    out = v.Get<std::string>();
    return true;
}

bool ExtrasFlag(const tinygltf::Value& extras, const char* key, std::int32_t& out, const std::string& what) {
    if (!extras.IsObject() || !extras.Has(key)) return false;
    const tinygltf::Value& v = extras.Get(key);
    if (v.IsBool())
        out = v.Get<bool>() ? 1 : 0;
    else if (v.IsNumber())
        out = v.GetNumberAsDouble() != 0 ? 1 : 0;
    else
        Fail(what + ": extras \"" + key + "\" must be a number or a boolean");
    return true;
}

void CheckTextureName(const std::string& name, const std::string& what) {
    if (name.size() > model::emd::kMaxTextureNameChars)
        Fail(what + ": texture name \"" + name + "\" is longer than 127 characters");
    if (name.find('\0') != std::string::npos) Fail(what + ": texture name holds a NUL");
}

model::emd::Material ConvertMaterial(const tinygltf::Model& m, int index, std::vector<std::string>& warnings) {
    model::emd::Material out;
    out.storedPower = 0.1f;
    out.wrapU = out.wrapV = 1;
    for (int i = 0; i < 3; ++i) {
        out.diffuse[i] = 1.0f;
        out.specular[i] = 0.2f;
    }
    if (index < 0) {
        for (int i = 0; i < 3; ++i) out.ambient[i] = 0.4f;
        return out;
    }
    const tinygltf::Material& mat = m.materials[index];
    const std::string what = "material " + std::to_string(index) + " (" + mat.name + ")";
    const auto& pbr = mat.pbrMetallicRoughness;
    if (pbr.baseColorFactor.size() >= 3)
        for (int i = 0; i < 3; ++i) out.diffuse[i] = ToFloat(pbr.baseColorFactor[i]);
    if (auto colour = TextureOf(m, pbr.baseColorTexture.index, what)) {
        out.colourMap = colour->name;
        out.wrapU = WrapFlag(colour->wrapS, warnings, what);
        out.wrapV = WrapFlag(colour->wrapT, warnings, what);
    }
    if (auto bump = TextureOf(m, mat.normalTexture.index, what))
        out.bumpMap = bump->name;
    else if (auto light = TextureOf(m, mat.occlusionTexture.index, what))
        out.bumpMap = light->name;

    const tinygltf::Value& x = mat.extras;
    if (!ExtrasString(x, "colourMap", out.colourMap, what)) ExtrasString(x, "colorMap", out.colourMap, what);
    ExtrasString(x, "bumpMap", out.bumpMap, what);
    ExtrasFlag(x, "wrapU", out.wrapU, what);
    ExtrasFlag(x, "wrapV", out.wrapV, what);
    ExtrasColour(x, "diffuse", out.diffuse, what);
    if (!ExtrasColour(x, "ambient", out.ambient, what))
        for (int i = 0; i < 3; ++i) out.ambient[i] = out.diffuse[i] * 0.4f;
    ExtrasColour(x, "specular", out.specular, what);
    CheckTextureName(out.colourMap, what);
    CheckTextureName(out.bumpMap, what);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Bones.

struct Skeleton {
    std::vector<int> boneNode;    // per bone, its node
    std::vector<int> boneOfNode;  // per node, its bone or -1
    std::vector<int> parent;      // per bone
    std::vector<double> scale;    // per bone: the uniform scale of its rest pose, folded into offsets
};

std::string NodeName(const tinygltf::Model& m, int node) {
    return m.nodes[node].name.empty() ? "node" + std::to_string(node) : m.nodes[node].name;
}

double UniformScale(const Mat4& g) {
    return std::cbrt(std::fabs(math::Determinant3(g)));
}

bool HasNonUniformScale(const Mat4& g, double s) {
    for (int c = 0; c < 3; ++c) {
        const double l = math::Length({g.at(0, c), g.at(1, c), g.at(2, c)});
        if (std::fabs(l - s) > 1e-3 * s) return true;
    }
    return false;
}

Skeleton BuildSkeleton(const tinygltf::Model& m, const Scene& sc, std::vector<std::string>& warnings) {
    Skeleton sk;
    sk.boneOfNode.assign(m.nodes.size(), -1);
    std::vector<int> candidates;
    for (int i : sc.order) {
        const int skin = m.nodes[i].skin;
        if (m.nodes[i].mesh < 0 || skin < 0) continue;
        if (static_cast<std::size_t>(skin) >= m.skins.size())
            Fail("node " + std::to_string(i) + ": skin " + std::to_string(skin) + " out of range");
        for (int j : m.skins[skin].joints) {
            if (j < 0 || static_cast<std::size_t>(j) >= m.nodes.size())
                Fail("skin " + std::to_string(skin) + ": joint node " + std::to_string(j) + " out of range");
            if (!sc.inScene[j]) Fail("skin " + std::to_string(skin) + ": joint node " + std::to_string(j) + " is not in the scene");
            if (sk.boneOfNode[j] == -1) {
                sk.boneOfNode[j] = 0;
                candidates.push_back(j);
            }
        }
    }
    auto boneParentNode = [&](int node) {
        for (int p = sc.parent[node]; p >= 0; p = sc.parent[p])
            if (sk.boneOfNode[p] != -1) return p;
        return -1;
    };
    // Keep the skin's order when parents already come first; otherwise take hierarchy order.
    std::vector<int> position(m.nodes.size(), -1);
    for (std::size_t k = 0; k < candidates.size(); ++k) position[candidates[k]] = static_cast<int>(k);
    bool ordered = true;
    for (int j : candidates) {
        const int p = boneParentNode(j);
        if (p >= 0 && position[p] > position[j]) ordered = false;
    }
    if (!ordered) {
        candidates.clear();
        for (int i : sc.order)
            if (sk.boneOfNode[i] != -1) candidates.push_back(i);
        warnings.push_back("joints reordered so that parents come before children");
    }
    for (std::size_t k = 0; k < candidates.size(); ++k) sk.boneOfNode[candidates[k]] = static_cast<int>(k);
    sk.boneNode = candidates;
    for (int j : candidates) {
        const std::string name = NodeName(m, j);
        if (name.size() > model::emd::kMaxBoneNameChars)
            Fail("bone name \"" + name + "\" is longer than 63 characters");
        if (name.find('\0') != std::string::npos) Fail("bone name holds a NUL");
        const int p = boneParentNode(j);
        sk.parent.push_back(p >= 0 ? sk.boneOfNode[p] : -1);
        const Mat4& g = sc.global[j];
        double s = UniformScale(g);
        if (!(s > 1e-12)) Fail("bone \"" + name + "\" has a degenerate (zero) scale");
        if (HasNonUniformScale(g, s))
            warnings.push_back("bone \"" + name + "\" has a non-uniform scale; its average is used");
        if (math::Determinant3(g) < 0) warnings.push_back("bone \"" + name + "\" is mirrored; the mirror is dropped");
        sk.scale.push_back(s);
    }
    return sk;
}

// Rotation of a pose with its scale removed.
Mat4 RotationOf(const Mat4& g) {
    Mat4 r;
    for (int c = 0; c < 3; ++c) {
        const Vec3 col = math::Normalized({g.at(0, c), g.at(1, c), g.at(2, c)});
        for (int row = 0; row < 3; ++row) r.at(row, c) = col[row];
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// Meshes.

struct Influence {
    int bone = 0;
    int joint = 0;  // index into the skin's joints (for its inverse bind matrix)
    double weight = 0;
};

struct BuildVertex {
    Vec3 position{};               // glTF space, where the vertex rests
    std::vector<Influence> influences;
    std::vector<Vec3> offsets;     // per influence, glTF bone space (scale folded in)
    std::vector<Vec3> normals;
    std::vector<std::vector<Vec3>> boneNormals;  // per normal entry, per influence
    std::vector<Vec2> uv[2];
};

struct BuildGroup {
    int material = 0;  // index into the output material list
    std::vector<int> vertex, normal, uv[2];
};

struct BuildMesh {
    std::string name;
    int channels = 0;
    std::vector<BuildVertex> vertices;
    std::vector<BuildGroup> groups;
};

float F(double d) { return ToFloat(d); }

void Mirror(const Vec3& v, double scale, float out[3]) {
    out[0] = F(v[0] * scale);
    out[1] = F(v[1] * scale);
    out[2] = F(-v[2] * scale);
}

struct Converter {
    const tinygltf::Model& m;
    const ConvertOptions& opt;
    std::vector<std::string>& warnings;
    Accessors acc{m};
    Scene sc;
    Skeleton sk;
    std::vector<int> materialOut;  // glTF material -> output index (-1 unused)
    int defaultMaterial = -1;
    std::vector<model::emd::Material> materials;

    Converter(const tinygltf::Model& model, const ConvertOptions& o, std::vector<std::string>& w)
        : m(model), opt(o), warnings(w) {}

    int MaterialIndex(int gltfMaterial) const {
        return gltfMaterial < 0 ? defaultMaterial : materialOut[gltfMaterial];
    }

    void CollectMaterials() {
        materialOut.assign(m.materials.size(), -1);
        bool needDefault = false;
        std::vector<char> used(m.materials.size(), 0);
        for (int i : sc.order) {
            const int mesh = m.nodes[i].mesh;
            if (mesh < 0) continue;
            if (static_cast<std::size_t>(mesh) >= m.meshes.size())
                Fail("node " + std::to_string(i) + ": mesh " + std::to_string(mesh) + " out of range");
            for (const auto& p : m.meshes[mesh].primitives) {
                if (p.material < 0)
                    needDefault = true;
                else if (static_cast<std::size_t>(p.material) >= m.materials.size())
                    Fail("mesh " + std::to_string(mesh) + ": material " + std::to_string(p.material) + " out of range");
                else
                    used[p.material] = 1;
            }
        }
        for (std::size_t i = 0; i < m.materials.size(); ++i)
            if (used[i]) {
                materialOut[i] = static_cast<int>(materials.size());
                materials.push_back(ConvertMaterial(m, static_cast<int>(i), warnings));
            }
        if (needDefault) {
            defaultMaterial = static_cast<int>(materials.size());
            materials.push_back(ConvertMaterial(m, -1, warnings));
        }
    }

    BuildMesh BuildNodeMesh(int nodeIndex) {
        const tinygltf::Node& node = m.nodes[nodeIndex];
        const tinygltf::Mesh& mesh = m.meshes[node.mesh];
        BuildMesh out;
        out.name = !node.name.empty() ? node.name : !mesh.name.empty() ? mesh.name : "mesh" + std::to_string(nodeIndex);
        const std::string meshWhat = "mesh \"" + out.name + "\"";
        const bool skinned = node.skin >= 0;
        // A mesh without a skin below a bone (an object parented to a bone) is bound rigidly to
        // that bone, so it follows the animation.
        int rigidBone = -1;
        if (!skinned)
            for (int p = sc.parent[nodeIndex]; p >= 0 && rigidBone < 0; p = sc.parent[p]) rigidBone = sk.boneOfNode[p];
        const bool bound = skinned || rigidBone >= 0;

        // Static meshes land in model space through the node's world matrix; skinned ones are
        // placed by their joints (glTF ignores the skinned node's own transform).
        const Mat4 world = sc.global[nodeIndex];
        const Mat4 worldNormal = math::NormalMatrix(world);
        const bool flip = !skinned && math::Determinant3(world) < 0;

        // Per skin joint: inverse bind matrix, rest skinning matrix and their normal matrices.
        std::vector<Mat4> inverseBind, jointSkin, inverseBindNormal, jointSkinNormal;
        std::vector<int> jointBone;
        if (rigidBone >= 0) {
            // One joint whose bind space is the bone's rest pose, reached from the mesh's own space.
            const Mat4& boneRest = sc.global[sk.boneNode[rigidBone]];
            inverseBind.push_back(math::InverseAffine(boneRest) * world);
            jointBone.push_back(rigidBone);
            jointSkin.push_back(boneRest * inverseBind[0]);
            inverseBindNormal.push_back(math::NormalMatrix(inverseBind[0]));
            jointSkinNormal.push_back(math::NormalMatrix(jointSkin[0]));
        } else if (skinned) {
            const tinygltf::Skin& skin = m.skins[node.skin];
            const std::size_t joints = skin.joints.size();
            if (joints == 0) Fail(meshWhat + ": its skin has no joints");
            inverseBind.assign(joints, Mat4{});
            if (skin.inverseBindMatrices >= 0) {
                const auto v = acc.Floats(skin.inverseBindMatrices, 16, meshWhat + " inverse bind matrices");
                if (v.size() / 16 < joints) Fail(meshWhat + ": fewer inverse bind matrices than joints");
                for (std::size_t j = 0; j < joints; ++j)
                    for (int k = 0; k < 16; ++k) inverseBind[j].m[k] = v[j * 16 + k];
            }
            for (std::size_t j = 0; j < joints; ++j) {
                const int jn = skin.joints[j];
                jointBone.push_back(sk.boneOfNode[jn]);
                jointSkin.push_back(sc.global[jn] * inverseBind[j]);
                inverseBindNormal.push_back(math::NormalMatrix(inverseBind[j]));
                jointSkinNormal.push_back(math::NormalMatrix(jointSkin.back()));
            }
        }

        for (const auto& p : mesh.primitives) {
            const bool hasUv0 = p.attributes.count("TEXCOORD_0"), hasUv1 = p.attributes.count("TEXCOORD_1");
            out.channels = std::max(out.channels, hasUv1 ? 2 : hasUv0 ? 1 : 0);
        }

        KeyMap<11, int> vertexOf;
        KeyMap<4, int> normalOf;
        KeyMap<3, int> uvOf;
        std::map<int, int> groupOf;  // output material -> group

        for (std::size_t pi = 0; pi < mesh.primitives.size(); ++pi) {
            const tinygltf::Primitive& p = mesh.primitives[pi];
            const std::string what = meshWhat + " primitive " + std::to_string(pi);
            if (p.mode != TINYGLTF_MODE_TRIANGLES && p.mode != TINYGLTF_MODE_TRIANGLE_STRIP &&
                p.mode != TINYGLTF_MODE_TRIANGLE_FAN && p.mode != -1)
                Fail(what + ": mode " + std::to_string(p.mode) + " (points or lines) is not supported, only triangles");
            if (!p.targets.empty()) warnings.push_back(what + ": morph targets ignored");
            auto attr = [&](const char* name) {
                auto it = p.attributes.find(name);
                return it == p.attributes.end() ? -1 : it->second;
            };
            if (attr("POSITION") < 0) Fail(what + ": no POSITION attribute");
            const auto pos = acc.Floats(attr("POSITION"), 3, what + " POSITION");
            const std::size_t count = pos.size() / 3;
            auto sameCount = [&](const std::vector<double>& v, int comps, const char* name) {
                if (v.size() / comps != count) Fail(what + ": " + name + " has a different count than POSITION");
            };
            std::vector<double> nrm, uv[2];
            if (attr("NORMAL") >= 0) {
                nrm = acc.Floats(attr("NORMAL"), 3, what + " NORMAL");
                sameCount(nrm, 3, "NORMAL");
            }
            for (int c = 0; c < 2; ++c) {
                const char* name = c == 0 ? "TEXCOORD_0" : "TEXCOORD_1";
                if (attr(name) >= 0) {
                    uv[c] = acc.Floats(attr(name), 2, what + " " + name);
                    sameCount(uv[c], 2, name);
                }
            }
            std::vector<std::uint32_t> joints[2];
            std::vector<double> weights[2];
            if (skinned) {
                for (int set = 0; set < 2; ++set) {
                    const std::string jn = "JOINTS_" + std::to_string(set), wn = "WEIGHTS_" + std::to_string(set);
                    if (attr(jn.c_str()) < 0 && attr(wn.c_str()) < 0) continue;
                    if (attr(jn.c_str()) < 0 || attr(wn.c_str()) < 0) Fail(what + ": " + jn + " and " + wn + " must come together");
                    joints[set] = acc.Uints(attr(jn.c_str()), 4, what + " " + jn);
                    weights[set] = acc.Floats(attr(wn.c_str()), 4, what + " " + wn);
                    if (joints[set].size() / 4 != count || weights[set].size() / 4 != count)
                        Fail(what + ": " + jn + "/" + wn + " have a different count than POSITION");
                    // Joint slots with weight 0 are never read, whatever they hold.
                    for (std::size_t k = 0; k < joints[set].size(); ++k)
                        if (weights[set][k] > 0 && joints[set][k] >= jointBone.size())
                            Fail(what + ": joint index " + std::to_string(joints[set][k]) +
                                 " out of range (the skin has " + std::to_string(jointBone.size()) + " joints)");
                }
                if (joints[0].empty()) Fail(what + ": skinned mesh without JOINTS_0/WEIGHTS_0");
            }

            std::vector<std::uint32_t> indices;
            if (p.indices >= 0) {
                indices = acc.Uints(p.indices, 1, what + " indices");
                for (std::uint32_t i : indices)
                    if (i >= count)
                        Fail(what + ": index " + std::to_string(i) + " out of range (" + std::to_string(count) + " vertices)");
            } else {
                indices.resize(count);
                std::iota(indices.begin(), indices.end(), 0u);
            }
            std::vector<std::array<std::uint32_t, 3>> tris;
            if (p.mode == TINYGLTF_MODE_TRIANGLES || p.mode == -1) {
                if (indices.size() % 3 != 0)
                    Fail(what + ": " + std::to_string(indices.size()) +
                         " indices is not a whole number of triangles (quads and polygons must be triangulated)");
                for (std::size_t i = 0; i + 2 < indices.size(); i += 3)
                    tris.push_back({indices[i], indices[i + 1], indices[i + 2]});
            } else if (p.mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
                for (std::size_t i = 0; i + 2 < indices.size(); ++i)
                    tris.push_back(i % 2 ? std::array{indices[i + 1], indices[i], indices[i + 2]}
                                         : std::array{indices[i], indices[i + 1], indices[i + 2]});
            } else {
                for (std::size_t i = 1; i + 1 < indices.size(); ++i)
                    tris.push_back({indices[0], indices[i], indices[i + 1]});
            }

            // Source vertex of each glTF vertex, made on first use.
            std::vector<int> sourceOf(count, -1);
            auto source = [&](std::uint32_t gv) -> int {
                if (sourceOf[gv] >= 0) return sourceOf[gv];
                const Vec3 raw{pos[gv * 3], pos[gv * 3 + 1], pos[gv * 3 + 2]};
                std::vector<Influence> inf;
                if (skinned) {
                    for (int set = 0; set < 2; ++set)
                        if (!joints[set].empty())
                            for (int k = 0; k < 4; ++k) {
                                const double w = weights[set][gv * 4 + k];
                                if (!(w > 0)) continue;
                                const int j = static_cast<int>(joints[set][gv * 4 + k]);
                                auto same = std::find_if(inf.begin(), inf.end(), [&](auto& x) { return x.joint == j; });
                                if (same != inf.end())
                                    same->weight += w;
                                else
                                    inf.push_back({jointBone[j], j, w});
                            }
                    std::stable_sort(inf.begin(), inf.end(), [](auto& a, auto& b) { return a.weight > b.weight; });
                    if (inf.size() > 4) inf.resize(4);
                    double sum = 0;
                    for (auto& x : inf) sum += x.weight;
                    for (auto& x : inf) x.weight /= sum;
                } else if (rigidBone >= 0) {
                    inf.push_back({rigidBone, 0, 1.0});
                }
                Vec3 rest = raw;
                if (bound) {
                    rest = {0, 0, 0};
                    for (auto& x : inf) {
                        const Vec3 q = math::TransformPoint(jointSkin[x.joint], raw);
                        for (int c = 0; c < 3; ++c) rest[c] += q[c] * x.weight;
                    }
                    if (inf.empty()) rest = raw;
                } else {
                    rest = math::TransformPoint(world, raw);
                }
                std::array<std::uint32_t, 11> key{};
                const Vec3& kp = bound ? raw : rest;
                key[0] = Bits(kp[0]);
                key[1] = Bits(kp[1]);
                key[2] = Bits(kp[2]);
                for (std::size_t k = 0; k < inf.size(); ++k) {
                    key[3 + k * 2] = static_cast<std::uint32_t>(inf[k].joint + 1);
                    key[4 + k * 2] = Bits(inf[k].weight);
                }
                auto [it, fresh] = vertexOf.try_emplace(key, static_cast<int>(out.vertices.size()));
                if (fresh) {
                    BuildVertex v;
                    v.position = rest;
                    v.influences = inf;
                    for (auto& x : inf) {
                        Vec3 o = math::TransformPoint(inverseBind[x.joint], raw);
                        for (double& c : o) c *= sk.scale[x.bone];
                        v.offsets.push_back(o);
                    }
                    out.vertices.push_back(std::move(v));
                }
                sourceOf[gv] = it->second;
                return it->second;
            };

            const int outMaterial = MaterialIndex(p.material);
            auto [git, gfresh] = groupOf.try_emplace(outMaterial, static_cast<int>(out.groups.size()));
            if (gfresh) {
                out.groups.push_back({});
                out.groups.back().material = outMaterial;
            }
            BuildGroup& group = out.groups[git->second];

            auto normalIndex = [&](int s, const Vec3& gltfNormal) -> int {
                BuildVertex& v = out.vertices[s];
                Vec3 n;
                if (bound && !v.influences.empty())
                    n = math::Normalized(math::TransformDirection(jointSkinNormal[v.influences[0].joint], gltfNormal));
                else
                    n = math::Normalized(math::TransformDirection(bound ? Mat4{} : worldNormal, gltfNormal));
                const std::array<std::uint32_t, 4> key{static_cast<std::uint32_t>(s), Bits(n[0]), Bits(n[1]), Bits(n[2])};
                auto [it, fresh] = normalOf.try_emplace(key, static_cast<int>(v.normals.size()));
                if (fresh) {
                    v.normals.push_back(n);
                    std::vector<Vec3> perBone;
                    for (auto& x : v.influences)
                        perBone.push_back(math::Normalized(math::TransformDirection(inverseBindNormal[x.joint], gltfNormal)));
                    v.boneNormals.push_back(std::move(perBone));
                }
                return it->second;
            };
            auto uvIndex = [&](int s, int channel, const Vec2& t) -> int {
                BuildVertex& v = out.vertices[s];
                const std::array<std::uint32_t, 3> key{static_cast<std::uint32_t>(s * 2 + channel), Bits(t[0]), Bits(t[1])};
                auto [it, fresh] = uvOf.try_emplace(key, static_cast<int>(v.uv[channel].size()));
                if (fresh) v.uv[channel].push_back(t);
                return it->second;
            };

            for (const auto& t : tris) {
                if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
                int s[3];
                for (int c = 0; c < 3; ++c) s[c] = source(t[c]);
                Vec3 flat{0, 0, 0};
                if (nrm.empty()) {
                    // Face normal of the counter-clockwise front face, in the mesh's own space;
                    // it then goes through the same transform as a stored normal.
                    const Vec3 a{pos[t[0] * 3], pos[t[0] * 3 + 1], pos[t[0] * 3 + 2]};
                    const Vec3 b{pos[t[1] * 3], pos[t[1] * 3 + 1], pos[t[1] * 3 + 2]};
                    const Vec3 c{pos[t[2] * 3], pos[t[2] * 3 + 1], pos[t[2] * 3 + 2]};
                    flat = math::Cross(math::Sub(b, a), math::Sub(c, a));
                }
                // The z mirror alone would leave glTF's counter-clockwise front faces
                // counter-clockwise on screen, which Direct3D's default cull mode drops: the
                // corner order is reversed so they come out clockwise. A node that mirrors
                // itself cancels that.
                int corner[3] = {0, 2, 1};
                if (flip) std::swap(corner[1], corner[2]);
                for (int ci : corner) {
                    const std::uint32_t gv = t[ci];
                    const Vec3 n = nrm.empty() ? flat : Vec3{nrm[gv * 3], nrm[gv * 3 + 1], nrm[gv * 3 + 2]};
                    group.vertex.push_back(s[ci]);
                    group.normal.push_back(normalIndex(s[ci], n));
                    for (int c = 0; c < out.channels; ++c) {
                        const Vec2 tc = uv[c].empty() ? Vec2{0, 0} : Vec2{uv[c][gv * 2], uv[c][gv * 2 + 1]};
                        group.uv[c].push_back(uvIndex(s[ci], c, tc));
                    }
                }
            }
        }
        // Drop groups that ended up empty (all-degenerate primitives).
        out.groups.erase(std::remove_if(out.groups.begin(), out.groups.end(), [](auto& g) { return g.vertex.empty(); }),
                         out.groups.end());
        return out;
    }

    // Splits a mesh whose render vertices would pass the 16-bit limit, triangle by triangle.
    std::vector<BuildMesh> Split(BuildMesh mesh) const {
        auto variantKey = [&](const BuildGroup& g, std::size_t corner) {
            return std::array<std::uint32_t, 4>{
                static_cast<std::uint32_t>(g.vertex[corner]), static_cast<std::uint32_t>(g.normal[corner]),
                mesh.channels > 0 ? static_cast<std::uint32_t>(g.uv[0][corner]) : 0xFFFFFFFFu,
                mesh.channels > 1 ? static_cast<std::uint32_t>(g.uv[1][corner]) : 0xFFFFFFFFu};
        };
        {
            std::unordered_set<std::array<std::uint32_t, 4>, KeyHash<4>> all;
            for (const auto& g : mesh.groups)
                for (std::size_t c = 0; c < g.vertex.size(); ++c) all.insert(variantKey(g, c));
            if (all.size() <= model::emd::kMaxRenderVertices) return {std::move(mesh)};
        }
        std::vector<BuildMesh> parts;
        std::unordered_set<std::array<std::uint32_t, 4>, KeyHash<4>> used;
        std::unordered_map<int, int> remap;
        std::map<int, int> groupOf;
        auto start = [&] {
            parts.push_back({});
            // name_1, name_2 ...; the base is shortened when the suffix would pass 63 characters.
            const std::string suffix = "_" + std::to_string(parts.size());
            parts.back().name = mesh.name.substr(0, model::emd::kMaxMeshNameChars - suffix.size()) + suffix;
            parts.back().channels = mesh.channels;
            used.clear();
            remap.clear();
            groupOf.clear();
        };
        start();
        for (const auto& g : mesh.groups) {
            for (std::size_t t = 0; t + 2 < g.vertex.size(); t += 3) {
                std::size_t fresh = 0;
                for (std::size_t c = t; c < t + 3; ++c) {
                    const auto k = variantKey(g, c);
                    bool repeat = false;
                    for (std::size_t d = t; d < c; ++d) repeat |= variantKey(g, d) == k;
                    fresh += !repeat && !used.count(k);
                }
                if (used.size() + fresh > model::emd::kMaxRenderVertices) start();
                BuildMesh& part = parts.back();
                auto [git, gfresh] = groupOf.try_emplace(g.material, static_cast<int>(part.groups.size()));
                if (gfresh) {
                    part.groups.push_back({});
                    part.groups.back().material = g.material;
                }
                BuildGroup& pg = part.groups[git->second];
                for (std::size_t c = t; c < t + 3; ++c) {
                    used.insert(variantKey(g, c));
                    auto [rit, rfresh] = remap.try_emplace(g.vertex[c], static_cast<int>(part.vertices.size()));
                    if (rfresh) part.vertices.push_back(mesh.vertices[g.vertex[c]]);
                    pg.vertex.push_back(rit->second);
                    pg.normal.push_back(g.normal[c]);
                    for (int ch = 0; ch < mesh.channels; ++ch) pg.uv[ch].push_back(g.uv[ch][c]);
                }
            }
        }
        return parts;
    }

    model::emd::Mesh Emit(const BuildMesh& b) const {
        if (b.name.size() > model::emd::kMaxMeshNameChars)
            Fail("mesh name \"" + b.name + "\" is longer than 63 characters");
        if (b.name.find('\0') != std::string::npos) Fail("mesh name holds a NUL");
        const double g = opt.scale;
        model::emd::Mesh out;
        out.name = b.name;
        out.vertices.reserve(b.vertices.size());
        for (const auto& v : b.vertices) {
            model::emd::SourceVertex sv;
            Mirror(v.position, g, sv.position);
            for (std::size_t k = 0; k < v.influences.size(); ++k) {
                model::emd::SkinWeight w;
                w.bone = v.influences[k].bone;
                w.weight = F(v.influences[k].weight);
                Mirror(v.offsets[k], g, w.offset);
                sv.weights.push_back(w);
            }
            for (std::size_t n = 0; n < v.normals.size(); ++n) {
                model::emd::NormalEntry e;
                Mirror(v.normals[n], 1.0, e.normal);
                for (std::size_t k = 0; k < v.influences.size(); ++k) {
                    model::emd::SkinWeight w;
                    w.bone = v.influences[k].bone;
                    w.weight = F(v.influences[k].weight);
                    Mirror(v.boneNormals[n][k], 1.0, w.offset);
                    e.weights.push_back(w);
                }
                sv.normals.push_back(std::move(e));
            }
            for (int c = 0; c < b.channels; ++c) {
                std::vector<model::emd::TexCoord> ch;
                for (const auto& t : v.uv[c]) ch.push_back({F(t[0]), F(t[1])});
                sv.channels.push_back(std::move(ch));
            }
            out.vertices.push_back(std::move(sv));
        }
        for (const auto& bg : b.groups) {
            model::emd::FaceGroup fg;
            fg.material = bg.material;
            fg.vertexIndices = bg.vertex;
            fg.normalIndices = bg.normal;
            for (int c = 0; c < b.channels; ++c) fg.uvIndices.push_back(bg.uv[c]);
            out.groups.push_back(std::move(fg));
        }
        return out;
    }

    // -----------------------------------------------------------------------------------------
    // Animation.

    struct Channel {
        int node = 0;
        int path = 0;  // 0 translation, 1 rotation, 2 scale
        bool step = false;
        std::vector<double> times;
        std::vector<double> values;  // 3 or 4 per key
    };

    std::vector<double> Sample(const Channel& c, double t) const {
        const std::size_t n = c.times.size(), w = c.path == 1 ? 4 : 3;
        auto value = [&](std::size_t k) { return std::vector<double>(c.values.begin() + k * w, c.values.begin() + (k + 1) * w); };
        // Key times are floats in seconds: a sample within a microsecond of a key takes that key
        // (0.4f is a little above 0.4, and a STEP key there must already count).
        const double reach = t + 1e-6;
        if (reach < c.times.front()) return value(0);
        if (reach >= c.times.back()) return value(n - 1);
        const std::size_t hi = std::upper_bound(c.times.begin(), c.times.end(), reach) - c.times.begin();
        const std::size_t lo = hi - 1;
        if (c.step) return value(lo);
        const double span = c.times[hi] - c.times[lo];
        const double f = span > 0 ? std::clamp((t - c.times[lo]) / span, 0.0, 1.0) : 0.0;
        const auto a = value(lo), b = value(hi);
        if (c.path == 1) {
            const Quat q = math::Slerp(math::NormalizedQuat({a[0], a[1], a[2], a[3]}),
                                       math::NormalizedQuat({b[0], b[1], b[2], b[3]}), f);
            return {q[0], q[1], q[2], q[3]};
        }
        return {a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f, a[2] + (b[2] - a[2]) * f};
    }

    model::esa::AnimationFile BuildAnimation() {
        model::esa::AnimationFile anim;
        anim.keyInterval = 100;
        std::vector<Channel> channels;
        // The loop starts at the earliest key: Blender's default first frame 1 puts every key one
        // frame late, which would otherwise hold the first pose for a frame at every loop start.
        double startSeconds = std::numeric_limits<double>::infinity(), endSeconds = 0;
        const tinygltf::Animation* chosen = nullptr;
        if (!opt.animationName.empty()) {
            for (const auto& a : m.animations)
                if (a.name == opt.animationName) chosen = &a;
            if (!chosen) {
                std::string names;
                for (const auto& a : m.animations) names += (names.empty() ? "" : ", ") + ("\"" + a.name + "\"");
                Fail("no animation named \"" + opt.animationName + "\" (the file has: " +
                     (names.empty() ? std::string("none") : names) + ")");
            }
        } else if (!m.animations.empty()) {
            chosen = &m.animations.front();
        }
        if (chosen) {
            const std::string what = "animation \"" + chosen->name + "\"";
            for (const auto& ch : chosen->channels) {
                if (ch.target_path == "weights") {
                    warnings.push_back(what + ": morph weight channel ignored");
                    continue;
                }
                Channel c;
                c.node = ch.target_node;
                if (c.node < 0 || static_cast<std::size_t>(c.node) >= m.nodes.size())
                    Fail(what + ": target node " + std::to_string(c.node) + " out of range");
                if (ch.target_path == "translation")
                    c.path = 0;
                else if (ch.target_path == "rotation")
                    c.path = 1;
                else if (ch.target_path == "scale")
                    c.path = 2;
                else
                    Fail(what + ": unknown target path \"" + ch.target_path + "\"");
                if (ch.sampler < 0 || static_cast<std::size_t>(ch.sampler) >= chosen->samplers.size())
                    Fail(what + ": sampler " + std::to_string(ch.sampler) + " out of range");
                const auto& s = chosen->samplers[ch.sampler];
                if (s.interpolation == "CUBICSPLINE")
                    Fail(what + ": CUBICSPLINE interpolation is not supported (export with linear or step)");
                c.step = s.interpolation == "STEP";
                c.times = acc.Floats(s.input, 1, what + " sampler input");
                const int w = c.path == 1 ? 4 : 3;
                c.values = acc.Floats(s.output, w, what + " sampler output");
                if (c.times.empty()) Fail(what + ": a sampler has no keys");
                if (c.values.size() / w != c.times.size()) Fail(what + ": sampler input and output counts differ");
                for (std::size_t k = 1; k < c.times.size(); ++k)
                    if (c.times[k] < c.times[k - 1]) Fail(what + ": key times are not increasing");
                startSeconds = std::min(startSeconds, c.times.front());
                endSeconds = std::max(endSeconds, c.times.back());
                if (!sc.inScene[c.node]) continue;
                channels.push_back(std::move(c));
            }
        } else {
            warnings.push_back("the file has no animation; every key holds the rest pose");
            endSeconds = 1.0;
        }
        if (!std::isfinite(startSeconds)) startSeconds = 0;
        const double lengthMs = opt.lengthMs ? *opt.lengthMs : std::round((endSeconds - startSeconds) * 1000.0);
        if (!(lengthMs >= 1) || lengthMs > 3600000) {
            char shown[32];
            std::snprintf(shown, sizeof shown, "%g", lengthMs);  // may be far beyond any integer type
            Fail(std::string("animation length ") + shown + " ms is out of range (1 ms to 1 hour; use --length)");
        }
        anim.animLength = static_cast<std::int32_t>(lengthMs);
        std::vector<std::int32_t> times;
        for (std::int32_t t = 0; t < anim.animLength; t += anim.keyInterval) times.push_back(t);
        times.push_back(anim.animLength);

        anim.tracks.resize(sk.boneNode.size());
        std::vector<const Channel*> chT(m.nodes.size(), nullptr), chR(m.nodes.size(), nullptr), chS(m.nodes.size(), nullptr);
        for (const auto& c : channels) (c.path == 0 ? chT : c.path == 1 ? chR : chS)[c.node] = &c;
        std::vector<Mat4> global(m.nodes.size());
        std::vector<Quat> previous(sk.boneNode.size(), Quat{0, 0, 0, 0});
        bool scaleWarned = false;
        for (std::int32_t tm : times) {
            const double t = startSeconds + tm / 1000.0;
            for (int i : sc.order) {
                Mat4 local = sc.local[i];
                if (chT[i] || chR[i] || chS[i]) {
                    const tinygltf::Node& n = m.nodes[i];
                    std::optional<Vec3> tt, ss;
                    std::optional<Quat> rr;
                    if (chT[i]) {
                        auto v = Sample(*chT[i], t);
                        tt = Vec3{v[0], v[1], v[2]};
                    }
                    if (chR[i]) {
                        auto v = Sample(*chR[i], t);
                        rr = Quat{v[0], v[1], v[2], v[3]};
                    }
                    if (chS[i]) {
                        auto v = Sample(*chS[i], t);
                        ss = Vec3{v[0], v[1], v[2]};
                    }
                    local = LocalMatrix(n, tt ? &*tt : nullptr, rr ? &*rr : nullptr, ss ? &*ss : nullptr, i);
                }
                global[i] = sc.parent[i] >= 0 ? global[sc.parent[i]] * local : local;
            }
            for (std::size_t b = 0; b < sk.boneNode.size(); ++b) {
                const Mat4& gm = global[sk.boneNode[b]];
                const double s = UniformScale(gm);
                if (!scaleWarned && (std::fabs(s - sk.scale[b]) > 1e-3 * sk.scale[b] ||
                                     HasNonUniformScale(gm, s))) {
                    warnings.push_back("bone \"" + NodeName(m, sk.boneNode[b]) +
                                       "\" changes scale during the animation; poses keep only rotation and position");
                    scaleWarned = true;
                }
                Quat q = math::ToQuat(RotationOf(gm));
                q = {-q[0], -q[1], q[2], q[3]};  // the z mirror of a rotation
                const Quat& p = previous[b];
                if (p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3] < 0) q = {-q[0], -q[1], -q[2], -q[3]};
                previous[b] = q;
                model::esa::PositionKey pk;
                pk.time = tm;
                Mirror({gm.at(0, 3), gm.at(1, 3), gm.at(2, 3)}, opt.scale, pk.position);
                model::esa::RotationKey rk;
                rk.time = tm;
                for (int k = 0; k < 4; ++k) rk.quaternion[k] = F(q[k]);
                anim.tracks[b].positionKeys.push_back(pk);
                anim.tracks[b].rotationKeys.push_back(rk);
            }
        }
        return anim;
    }

    ConvertResult Run() {
        if (!(opt.scale > 0) || !std::isfinite(opt.scale)) Fail("--scale must be a positive number");
        for (const auto& e : m.extensionsRequired)
            Fail("the file requires the extension " + e + ", which is not supported (export without compression)");
        sc = BuildScene(m);
        sk = BuildSkeleton(m, sc, warnings);
        CollectMaterials();
        ConvertResult result;
        for (int i : sc.order) {
            if (m.nodes[i].mesh < 0) continue;
            for (auto& part : Split(BuildNodeMesh(i))) {
                if (part.groups.empty()) continue;
                result.model.meshes.push_back(Emit(part));
            }
        }
        if (result.model.meshes.empty()) Fail("the scene holds no triangles");
        result.model.materials = materials;
        for (std::size_t b = 0; b < sk.boneNode.size(); ++b)
            result.model.bones.push_back({NodeName(m, sk.boneNode[b]), sk.parent[b]});
        if (opt.wantAnimation) result.animation = BuildAnimation();
        return result;
    }
};

bool NoImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
    return true;
}

std::string FirstLine(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

}  // namespace

ConvertResult ConvertBytes(const std::vector<unsigned char>& bytes, const std::string& baseDir,
                           const ConvertOptions& options) {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(NoImage, nullptr);
    tinygltf::Model gltf;
    std::string err, warn;
    bool ok = false;
    try {
        if (bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0)
            ok = loader.LoadBinaryFromMemory(&gltf, &err, &warn, bytes.data(), static_cast<unsigned>(bytes.size()), baseDir);
        else
            ok = loader.LoadASCIIFromString(&gltf, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<unsigned>(bytes.size()), baseDir);
    } catch (const std::exception& e) {
        Fail(std::string("bad glTF: ") + e.what());
    }
    if (!ok) Fail("bad glTF: " + FirstLine(err.empty() ? warn : err));
    std::vector<std::string> warnings;
    Converter c(gltf, options, warnings);
    ConvertResult r = c.Run();
    r.warnings = std::move(warnings);
    return r;
}

ConvertResult ConvertFile(const std::string& path, const ConvertOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot open " + path);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > 0x7FFFFFFFu) Fail(path + " is too large");
    const std::size_t slash = path.find_last_of('/');
    return ConvertBytes(bytes, slash == std::string::npos ? "." : path.substr(0, slash), options);
}

}  // namespace meshconv
