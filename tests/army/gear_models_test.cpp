// The shipped gear: wheel, siege tower, wagon and ballista bodies, 12 shields and 14 weapons.
// Every file loads whole and faces outwards; the wheels the scene puts at the squads' fixed
// offsets sit on the bodies' axle ends without cutting into them; weapons are held on their
// hafts at the origin and shields by a grip behind their faces. Missing files skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "d3dutil/image.h"
#include "model/emd_format.h"

namespace {

namespace emd = model::emd;
namespace fs = std::filesystem;

const fs::path kMedia = fs::path(GRIM_SOURCE_DIR) / "resources" / "media";

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Len(V3 a) { return std::sqrt(Dot(a, a)); }

struct Tri {
    V3 p[3];
    V3 n;  // the stored normal of the first corner
};

struct Loaded {
    std::vector<std::uint8_t> bytes;
    emd::ModelFile model;
    std::vector<Tri> tris;
    V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    V3 Centre() const { return (lo + hi) * 0.5; }
    double Height() const { return hi.y - lo.y; }
};

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Empty: loaded; otherwise why not. `missing` tells the caller to skip.
std::string Load(const std::string& name, Loaded& out, bool& missing) {
    const fs::path p = kMedia / "Meshes" / (name + ".EMD");
    missing = !fs::exists(p);
    if (missing) return name + ".EMD not built yet";
    out.bytes = ReadAll(p);
    if (FAILED(emd::ReadModel(out.bytes, out.model))) return name + ".EMD does not parse";
    for (const auto& mesh : out.model.meshes) {
        for (const auto& v : mesh.vertices) {
            const V3 q{v.position[0], v.position[1], v.position[2]};
            out.lo = {std::min(out.lo.x, q.x), std::min(out.lo.y, q.y), std::min(out.lo.z, q.z)};
            out.hi = {std::max(out.hi.x, q.x), std::max(out.hi.y, q.y), std::max(out.hi.z, q.z)};
        }
        for (const auto& g : mesh.groups)
            for (std::size_t f = 0; f < g.FaceCount(); ++f) {
                Tri t;
                for (int k = 0; k < 3; ++k) {
                    const auto& v = mesh.vertices[std::size_t(g.vertexIndices[f * 3 + k])];
                    t.p[k] = {v.position[0], v.position[1], v.position[2]};
                }
                const auto& v0 = mesh.vertices[std::size_t(g.vertexIndices[f * 3])];
                const auto& n = v0.normals[std::size_t(g.normalIndices[f * 3])].normal;
                t.n = {n[0], n[1], n[2]};
                out.tris.push_back(t);
            }
    }
    return {};
}

#define LOAD_OR_SKIP(name, loaded)                                  \
    Loaded loaded;                                                  \
    {                                                               \
        bool missing = false;                                       \
        const std::string why = Load(name, loaded, missing);        \
        if (missing) GTEST_SKIP() << why;                           \
        ASSERT_TRUE(why.empty()) << why;                            \
    }

std::vector<std::string> AllGear() {
    std::vector<std::string> names = {"Wheel", "siedge_tower", "wagon", "ballist"};
    for (int i = 0; i < 12; ++i) names.push_back("Shield_" + std::to_string(i));
    for (int i = 0; i < 14; ++i) names.push_back("Weapon_" + std::to_string(i));
    return names;
}

struct Box {
    V3 lo{-1e30, -1e30, -1e30}, hi{1e30, 1e30, 1e30};
};

// Points covering each triangle at most about `step` apart (corners and edges included), scaled
// by `s` about `centre`: the body as the scene places it. Rows run parallel to the longest edge,
// so slim triangles get few points. Triangles wholly outside `clip` (in the scaled frame) are
// left out.
std::vector<V3> Samples(const Loaded& l, double step, V3 centre, double s, const Box& clip = {}) {
    std::vector<V3> out;
    for (const Tri& t : l.tris) {
        bool outside = false;
        for (int axis = 0; axis < 3 && !outside; ++axis) {
            double lo = 1e30, hi = -1e30;
            for (const V3& p : t.p) {
                const double v = ((axis == 0 ? p.x : axis == 1 ? p.y : p.z) -
                                  (axis == 0 ? centre.x : axis == 1 ? centre.y : centre.z)) * s;
                lo = std::min(lo, v), hi = std::max(hi, v);
            }
            const double cl = axis == 0 ? clip.lo.x : axis == 1 ? clip.lo.y : clip.lo.z;
            const double ch = axis == 0 ? clip.hi.x : axis == 1 ? clip.hi.y : clip.hi.z;
            outside = hi < cl || lo > ch;
        }
        if (outside) continue;
        int k = 0;  // the longest edge runs from p[k] to p[k + 1]
        double best = -1;
        for (int e = 0; e < 3; ++e) {
            const double len = Len(t.p[(e + 1) % 3] - t.p[e]);
            if (len > best) best = len, k = e;
        }
        const V3 a = t.p[k], b = t.p[(k + 1) % 3], c = t.p[(k + 2) % 3];
        const double area2 = Len(Cross(b - a, c - a));
        const double height = best > 0 ? area2 / best : 0;
        const int rows = std::max(1, int(std::ceil(height * s / step)));
        for (int r = 0; r <= rows; ++r) {
            const double f = double(r) / rows;  // 0 at the long edge, 1 at the apex
            const V3 from = a + (c - a) * f, to = b + (c - b) * f;
            const int n = std::max(1, int(std::ceil(Len(to - from) * s / step)));
            for (int i = 0; i <= n; ++i) out.push_back((from + (to - from) * (double(i) / n) - centre) * s);
        }
    }
    return out;
}

// Distance along `dir` from `o` to each triangle the ray crosses, with the triangle.
std::vector<std::pair<double, const Tri*>> RayHits(const Loaded& l, V3 o, V3 dir) {
    std::vector<std::pair<double, const Tri*>> hits;
    for (const Tri& t : l.tris) {
        const V3 e1 = t.p[1] - t.p[0], e2 = t.p[2] - t.p[0];
        const V3 p = Cross(dir, e2);
        const double det = Dot(e1, p);
        if (std::fabs(det) < 1e-12) continue;
        const V3 s = o - t.p[0];
        const double u = Dot(s, p) / det;
        if (u < 0 || u > 1) continue;
        const V3 q = Cross(s, e1);
        const double v = Dot(dir, q) / det;
        if (v < 0 || u + v > 1) continue;
        const double d = Dot(e2, q) / det;
        if (d > 0) hits.push_back({d, &t});
    }
    std::sort(hits.begin(), hits.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return hits;
}

TEST(GearFiles, ParseWholeAndRewriteToTheSameBytes) {
    for (const std::string& name : AllGear()) {
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        std::vector<std::uint8_t> again;
        ASSERT_EQ(S_OK, emd::WriteModel(l.model, again));
        EXPECT_EQ(l.bytes, again) << "the reader left bytes unread or read past a record";
        EXPECT_TRUE(l.model.bones.empty()) << "gear is static";
        for (const auto& mesh : l.model.meshes)
            EXPECT_LT(mesh.renderVertices.size(), 65535u);
    }
}

TEST(GearFiles, MaterialsNameAtlasesThatShipWithTheirBumpMaps) {
    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(kMedia / "Texture"))
        if (e.path().filename().string().rfind("Gear_", 0) == 0) total += e.file_size();
    EXPECT_LE(total, 2u * 1024 * 1024) << "the gear's texture budget";
    for (const std::string& name : AllGear()) {
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        ASSERT_FALSE(l.model.materials.empty());
        for (const auto& m : l.model.materials) {
            EXPECT_EQ(0u, m.colourMap.rfind("Gear_", 0)) << m.colourMap;
            const auto dot = m.colourMap.rfind('.');
            ASSERT_NE(std::string::npos, dot);
            EXPECT_EQ(m.colourMap.substr(0, dot) + "DOT3" + m.colourMap.substr(dot), m.bumpMap);
            EXPECT_TRUE(fs::exists(kMedia / "Texture" / m.colourMap)) << m.colourMap;
            EXPECT_TRUE(fs::exists(kMedia / "Texture" / m.bumpMap)) << m.bumpMap;
            EXPECT_FALSE(emd::IsTranslucentMap(m.colourMap)) << "opaque gear draws in one pass";
        }
    }
}

// Front faces are clockwise for Direct3D's default cull mode, so in model space the corner cross
// product points along the stored outward normal. A model whose winding disagrees with its
// normals, or with the rest of the content, shows its inside.
TEST(GearFiles, FrontFacesAgreeWithTheirNormals) {
    for (const std::string& name : AllGear()) {
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        double agree = 0, all = 0;
        for (const Tri& t : l.tris) {
            ASSERT_NEAR(1.0, Len(t.n), 1e-3) << "normals are stored unit length";
            const V3 c = Cross(t.p[1] - t.p[0], t.p[2] - t.p[0]);
            const double area = Len(c);
            all += area;
            if (Dot(c, t.n) > 0) agree += area;
        }
        ASSERT_GT(all, 0.0);
        EXPECT_GT(agree / all, 0.97);
    }
}

// Wrapping addressing would carry a coordinate outside 0..1 onto a neighbouring atlas tile.
TEST(GearFiles, TextureCoordinatesStayInsideTheAtlas) {
    for (const std::string& name : AllGear()) {
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        for (const auto& mesh : l.model.meshes)
            for (const auto& v : mesh.vertices) {
                ASSERT_EQ(1u, v.channels.size()) << "one uv set";
                for (const auto& uv : v.channels[0]) {
                    EXPECT_TRUE(uv.u >= 0.0f && uv.u <= 1.0f && uv.v >= 0.0f && uv.v <= 1.0f)
                        << uv.u << ", " << uv.v;
                }
            }
    }
}

TEST(GearTextures, AtlasesDecodeAtPowerOfTwoSizesWithOutwardNormalMaps) {
    for (const char* stem : {"Gear_Vehicles", "Gear_Shields", "Gear_Weapons"}) {
        SCOPED_TRACE(stem);
        const fs::path colour = kMedia / "Texture" / (std::string(stem) + ".jpg");
        const fs::path bump = kMedia / "Texture" / (std::string(stem) + "DOT3.jpg");
        if (!fs::exists(colour) || !fs::exists(bump)) GTEST_SKIP() << stem << " not built yet";
        d3dutil::Image c, n;
        d3dutil::ImageFileDescription ci, ni;
        std::string why;
        const auto cb = ReadAll(colour), nb = ReadAll(bump);
        ASSERT_TRUE(d3dutil::DecodeImage(cb.data(), cb.size(), c, ci, &why)) << why;
        ASSERT_TRUE(d3dutil::DecodeImage(nb.data(), nb.size(), n, ni, &why)) << why;
        EXPECT_EQ(d3dutil::ImageFileType::Jpg, ci.fileType);
        for (std::uint32_t side : {c.width, c.height})
            EXPECT_TRUE(side >= 64 && (side & (side - 1)) == 0) << side;
        EXPECT_EQ(c.width, n.width);
        EXPECT_EQ(c.height, n.height);
        // Tangent-space normals: unit length once decoded, never facing into the surface, and
        // not flat (the relief is there).
        double tilted = 0, count = 0, lumaSum = 0;
        for (std::uint32_t y = 0; y < n.height; y += 3)
            for (std::uint32_t x = 0; x < n.width; x += 3) {
                const std::uint8_t* p = n.Pixel(x, y);
                const double nx = p[0] / 127.5 - 1, ny = p[1] / 127.5 - 1, nz = p[2] / 127.5 - 1;
                const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
                ASSERT_NEAR(1.0, len, 0.12) << x << ", " << y;
                ASSERT_GT(nz, 0.3) << x << ", " << y;
                tilted += nz < 0.995 ? 1 : 0;
                count += 1;
                const std::uint8_t* q = c.Pixel(x, y);
                lumaSum += 0.3 * q[0] + 0.59 * q[1] + 0.11 * q[2];
            }
        EXPECT_GT(tilted / count, 0.2);
        const double luma = lumaSum / count;
        EXPECT_GT(luma, 50.0) << "too dark to read under the night lights";
        EXPECT_LT(luma, 170.0);
    }
}

TEST(GearWheel, RoundAboutAnAxleAlongX) {
    LOAD_OR_SKIP("Wheel", l);
    const V3 size = l.hi - l.lo;
    EXPECT_NEAR(size.y, size.z, 0.02 * size.y) << "a round wheel";
    EXPECT_LT(size.x, 0.4 * size.y) << "thin across its axle";
    const V3 c = l.Centre();
    EXPECT_NEAR(0.0, c.y, 0.05);
    EXPECT_NEAR(0.0, c.z, 0.05);
}

struct WheeledUnit {
    const char* name;
    double height, lift;
    std::vector<double> alongs;
};

const WheeledUnit kUnits[] = {
    {"siedge_tower", 178.5, 5.0, {-10.0, -40.0, 18.0}},
    {"wagon", 158.93, 7.0, {-5.0, -43.0, -80.0}},
    {"ballist", 158.93, 5.0, {-13.0, -83.0}},
};
constexpr double kWheelHeight = 21.05;
constexpr double kAcross = 28.0;
constexpr double kAxleBore = 1.5;  // an axle end may reach into the hub's hole

struct WheelFit {
    double nearest;  // from the wheel centre to the body
    int inside;      // body points within the wheel's disc, outside the bore
};

// The scene stands a body on its box bottom at route y + lift, centred on its box, turned so that
// model -Z is the heading; a wheel centre is at (along, wheel half height, across) from the route
// point in world terms, which is model (across, half - lift - body half height, -along).
std::vector<WheelFit> FitWheels(const Loaded& body, const WheeledUnit& u, double wheelHalfWidth,
                                double alongSign) {
    const double s = u.height / body.Height();
    std::vector<WheelFit> fits;
    const double r = kWheelHeight / 2;
    for (double along : u.alongs)
        for (double across : {kAcross, -kAcross}) {
            const V3 w{across, r - u.lift - u.height / 2, -along * alongSign};
            const V3 reach{wheelHalfWidth + 3, r + 3, r + 3};
            const std::vector<V3> pts = Samples(body, 0.5, body.Centre(), s, Box{w - reach, w + reach});
            WheelFit f{1e30, 0};
            for (const V3& p : pts) {
                const V3 d = p - w;
                f.nearest = std::min(f.nearest, Len(d));
                const double radial = std::hypot(d.y, d.z);
                if (std::fabs(d.x) < wheelHalfWidth && radial < r + 0.1 && radial > kAxleBore)
                    ++f.inside;
            }
            fits.push_back(f);
        }
    return fits;
}

TEST(GearBodies, WheelsSitOnAxleEndsAndClearTheBody) {
    LOAD_OR_SKIP("Wheel", wheel);
    const double halfWidth = (wheel.hi.x - wheel.lo.x) / 2 * kWheelHeight / wheel.Height();
    for (const WheeledUnit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u.name, body);
        const auto fits = FitWheels(body, u, halfWidth, 1.0);
        ASSERT_EQ(u.alongs.size() * 2, fits.size());
        for (std::size_t k = 0; k < fits.size(); ++k) {
            SCOPED_TRACE("wheel " + std::to_string(k));
            EXPECT_LE(fits[k].nearest, 2.5) << "no axle end at the wheel";
            EXPECT_EQ(0, fits[k].inside) << "body geometry cuts the wheel";
        }
        // A body turned round (forward and back swapped) must not fit: the check sees direction.
        bool anyBad = false;
        for (const auto& f : FitWheels(body, u, halfWidth, -1.0))
            anyBad |= f.nearest > 2.5 || f.inside > 0;
        EXPECT_TRUE(anyBad);
    }
}

TEST(GearBodies, StandWithinTheRoadAndReachForwardOfTheirWheels) {
    for (const WheeledUnit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u.name, body);
        const double s = u.height / body.Height();
        const V3 size = (body.hi - body.lo) * s;
        EXPECT_NEAR(0.0, body.Centre().x * s, 0.5) << "symmetric across";
        EXPECT_LT(size.x, 2 * 40.0) << "wider than the road allows";
        // The box centre is the route point; the wheels lie behind it (or around it for the
        // tower), so the body must reach forward (model -Z) beyond its front wheels.
        const double frontWheel = *std::max_element(u.alongs.begin(), u.alongs.end());
        EXPECT_GT(size.z / 2, frontWheel + kWheelHeight / 2);
    }
}

// The squads' partners in one frame: a unit's model scaled to its height, centred on its box,
// standing on route y + lift, and `ahead` units forward (model -Z) of the body's route point.
std::vector<V3> Placed(const Loaded& l, double height, double lift, double ahead, double step,
                       Box clip = {}) {
    const double s = height / l.Height();
    const V3 shift{0, lift + height / 2, -ahead};
    clip.lo = clip.lo - shift;
    clip.hi = clip.hi - shift;
    std::vector<V3> pts = Samples(l, step, l.Centre(), s, clip);
    for (V3& p : pts) {
        p.y += lift + height / 2;  // y above the road
        p.z -= ahead;
    }
    return pts;
}

// The wagon's and the ballista's drawbars reach forward under the beast that pulls them: every
// part of the body below the beast's outline must pass beneath its belly, between its legs.
TEST(GearBodies, DrawbarsRunBeneathTheBeastAhead) {
    LOAD_OR_SKIP("zver", beast);
    struct Pair {
        const char* body;
        double height, lift, beastAhead;
    };
    for (const Pair& pr : {Pair{"wagon", 158.93, 7.0, 105.0}, Pair{"ballist", 158.93, 5.0, 90.0}}) {
        SCOPED_TRACE(pr.body);
        LOAD_OR_SKIP(pr.body, body);
        const std::vector<V3> b = Placed(beast, 69.1, 0.0, pr.beastAhead, 0.5);
        // lowest beast point per 1 x 1 column
        constexpr double kCell = 1.0;
        std::vector<double> lowest;
        double x0 = 1e30, z0 = 1e30, x1 = -1e30, z1 = -1e30;
        for (const V3& p : b) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            z0 = std::min(z0, p.z), z1 = std::max(z1, p.z);
        }
        const int nx = int((x1 - x0) / kCell) + 1, nz = int((z1 - z0) / kCell) + 1;
        lowest.assign(std::size_t(nx) * nz, 1e30);
        for (const V3& p : b) {
            double& c = lowest[std::size_t(int((p.z - z0) / kCell)) * nx + int((p.x - x0) / kCell)];
            c = std::min(c, p.y);
        }
        int under = 0;
        for (const V3& p : Placed(body, pr.height, pr.lift, 0.0, 0.5)) {
            if (p.x < x0 || p.x > x1 || p.z < z0 || p.z > z1) continue;
            ++under;
            const int cx = int((p.x - x0) / kCell), cz = int((p.z - z0) / kCell);
            double floorY = 1e30;
            for (int dz = -1; dz <= 1; ++dz)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int ix = cx + dx, iz = cz + dz;
                    if (ix >= 0 && ix < nx && iz >= 0 && iz < nz)
                        floorY = std::min(floorY, lowest[std::size_t(iz) * nx + ix]);
                }
            ASSERT_LT(p.y + 1.0, floorY) << "body at (" << p.x << ", " << p.y << ", " << p.z
                                         << ") meets the beast";
        }
        EXPECT_GT(under, 0) << "the drawbar should reach under the beast";
    }
}

// The troll walks 83 behind the tower's route point and leans into it: its forward reach ends on
// the tower's back (the push bar), neither short of it nor deep inside it.
TEST(GearBodies, TheTrollsReachMeetsTheTowersBack) {
    LOAD_OR_SKIP("cave_troll", troll);
    LOAD_OR_SKIP("siedge_tower", tower);
    const std::vector<V3> t = Placed(troll, 49.2, 0.0, -83.0, 1.0);
    double front = 1e30;  // the troll's foremost reach (smallest z)
    for (const V3& p : t) front = std::min(front, p.z);
    const std::vector<V3> w = Placed(tower, 178.5, 5.0, 0.0, 1.0,
                                     Box{{-1e30, -1e30, front - 10.0}, {1e30, 1e30, 1e30}});
    std::vector<V3> reach, back;
    for (const V3& p : t)
        if (p.z < front + 3.0) reach.push_back(p);
    for (const V3& q : w)
        if (q.z > front - 10.0) back.push_back(q);
    ASSERT_FALSE(back.empty()) << "nothing of the tower near the troll";
    double nearest = 1e30;
    for (const V3& p : reach)
        for (const V3& q : back) nearest = std::min(nearest, Len(p - q));
    EXPECT_LT(nearest, 6.0) << "the troll's hands push at nothing";
    const double towerBack = (tower.hi.z - tower.lo.z) / 2 * 178.5 / tower.Height();
    EXPECT_GT(front, towerBack - 4.0) << "the troll reaches deep into the tower";
}

// Items are authored at their table heights, so the scene's FitHeight leaves them at scale 1 and a
// grip point taken from the file is already in scene units.
constexpr double kWeaponHeights[14] = {12.5, 34.5, 20.5, 18.5, 14, 14, 14.5, 14.5,
                                       40.5, 40.5, 40.5, 40.5, 40.5, 40.5};
constexpr double kShieldHeights[12] = {15.5, 17.5, 16.5, 21.5, 23.5, 22.5,
                                       22.5, 25.5, 27.5, 25.5, 22.5, 22.5};

TEST(GearWeapons, HeldOnTheHaftAtTheOriginHeadUp) {
    for (int i = 0; i < 14; ++i) {
        const std::string name = "Weapon_" + std::to_string(i);
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        EXPECT_NEAR(kWeaponHeights[i], l.Height(), 0.01 * kWeaponHeights[i]);
        const V3 size = l.hi - l.lo;
        EXPECT_GT(size.y, 2 * std::max(size.x, size.z)) << "the haft runs along +Y";
        EXPECT_GT(l.hi.y, -l.lo.y) << "more of it above the hand than below";
        for (double a : {l.lo.x, l.lo.y, l.lo.z}) EXPECT_LT(a, 0.0);
        for (double a : {l.hi.x, l.hi.y, l.hi.z}) EXPECT_GT(a, 0.0);
        // The grip is inside the haft: a ray from the origin in any sideways direction leaves
        // the model through a surface within a haft's thickness, and so do points a hand's width
        // up and down the haft.
        for (double y : {-0.8, 0.0, 0.8})
            for (const V3 dir : {V3{1, 0, 0}, V3{-1, 0, 0}, V3{0, 0, 1}, V3{0, 0, -1}}) {
                const auto hits = RayHits(l, V3{0, y, 0}, dir);
                ASSERT_FALSE(hits.empty()) << "origin outside the haft at y " << y;
                EXPECT_LT(hits.front().first, 1.0) << "haft surface too far at y " << y;
                EXPECT_GT(Dot(hits.front().second->n, dir), 0.0) << "leaving through an outside";
            }
    }
}

TEST(GearShields, GripBehindTheFaceWhichLooksForward) {
    for (int i = 0; i < 12; ++i) {
        const std::string name = "Shield_" + std::to_string(i);
        SCOPED_TRACE(name);
        LOAD_OR_SKIP(name, l);
        EXPECT_NEAR(kShieldHeights[i], l.Height(), 0.01 * kShieldHeights[i]);
        const V3 size = l.hi - l.lo;
        EXPECT_LT(size.z, 0.5 * std::min(size.x, size.y)) << "a board facing along Z";
        EXPECT_TRUE(l.lo.x < 0 && l.hi.x > 0 && l.lo.y < 0 && l.hi.y > 0);
        // Forward (model -Z) from the grip the ray passes the board and leaves through the
        // painted face, whose normal looks forward; behind the grip there is no board.
        const auto front = RayHits(l, V3{0, 0, 0}, V3{0, 0, -1});
        ASSERT_FALSE(front.empty()) << "nothing in front of the grip";
        EXPECT_LT(front.back().second->n.z, 0.0);
        EXPECT_GT(front.back().first, 0.3);
        for (const auto& h : RayHits(l, V3{0, 0, 0}, V3{0, 0, 1}))
            EXPECT_LT(h.first, 1.0) << "board behind the grip";
    }
}

}  // namespace
