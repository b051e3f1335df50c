#include "tools/meshview/meshview.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>

#include "d3dutil/d3dx8math.h"
#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "media/archive.h"
#include "media/resource_blob.h"
#include "media/writer/archive_writer.h"
#include "model/model.h"
#include "platform/d3d8/d3d8.h"
#include "platform/gl/gl_window_system.h"
#include "platform/host/messages.h"
#include "platform/sdl/sdl_host.h"
#include "scene/army_data.h"
#include "scene/item_transform.h"
#include "scene/map_data.h"
#include "tools/common/file_io.h"

namespace meshview {

namespace fs = std::filesystem;

namespace {

constexpr float kOrcHeight = 45.3f;
constexpr float kShieldHeights[scene::kShieldCount] = {15.5f, 17.5f, 16.5f, 21.5f, 23.5f, 22.5f,
                                                       22.5f, 25.5f, 27.5f, 25.5f, 22.5f, 22.5f};
constexpr float kWeaponHeights[scene::kWeaponCount] = {12.5f, 34.5f, 20.5f, 18.5f, 14.0f, 14.0f, 14.5f,
                                                       14.5f, 40.5f, 40.5f, 40.5f, 40.5f, 40.5f, 40.5f};
constexpr float kPi = 3.14159265358979f;
constexpr float kFovY = kPi / 4.0f;
constexpr D3DCOLOR kBackground = 0xFF283038;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseInt(const std::string& text, int& out, int low, int high) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

// "Orc_3" -> 3; -1 for other stems.
int NumberAfter(const std::string& stem, const std::string& prefix) {
    if (Lower(stem).rfind(Lower(prefix), 0) != 0) return -1;
    int n = -1;
    return ParseInt(stem.substr(prefix.size()), n, 0, 999) ? n : -1;
}

std::optional<std::vector<std::uint8_t>> ReadFile(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    if (!tools::ReadWholeFile(path, bytes)) return std::nullopt;
    return bytes;
}

std::optional<std::vector<std::uint8_t>> FromArchive(const std::string& name) {
    media::ResourceBlob blob = media::OpenMediaBlob(model::kMediaArchiveId);
    media::MemFile file;
    if (!media::ExtractFile(blob, name, file, model::kMediaArchivePassword)) return std::nullopt;
    std::vector<std::uint8_t> bytes(file.data, file.data + file.size);
    media::FreeMemFile(file);
    return bytes;
}

// Lower-case mesh file names of the level (the model list of Data/Map.emp).
std::set<std::string> LevelModels() {
    std::set<std::string> names;
    const auto bytes = FromArchive("Data\\Map.emp");
    scene::SceneMapData map;
    if (bytes && scene::ReadSceneMap(bytes->data(), bytes->size(), map) == S_OK) {
        for (const scene::MapModel& m : map.models) names.insert(Lower(m.mesh));
    }
    return names;
}

struct Loaded {
    std::unique_ptr<model::Model> model;
    std::string stem;
    bool level = false;
};

// Textures for a model read from a file: the archive first, then Texture/ beside the file, then
// the committed media folder; packed into a small stored archive the model loads from.
void LoadFileTextures(model::Model& m, const fs::path& file) {
    media::writer::ArchiveOptions options;
    options.store = true;
    media::writer::ArchiveWriter writer(options);
    std::set<std::string> added;
    const fs::path folders[] = {file.parent_path() / "Texture", file.parent_path() / "../Texture",
                                fs::path(GRIM_SOURCE_DIR) / "resources/media/Texture"};
    auto add = [&](const display::TextureHandle& handle) {
        const std::string name = handle.Name;
        if (name.empty() || !added.insert(Lower(name)).second) return;
        std::optional<std::vector<std::uint8_t>> bytes = FromArchive(std::string(model::kTextureGroup) + name);
        for (const fs::path& folder : folders) {
            if (bytes) break;
            bytes = ReadFile(folder / name);
        }
        if (bytes) writer.AddFile(std::string(model::kTextureGroup) + name, *bytes);
    };
    for (const model::ModelMaterial& material : m.Materials()) {
        add(material.colourMap);
        add(material.bumpMap);
    }
    const std::vector<std::uint8_t> archive = writer.Finish();
    media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
    m.LoadModelTextures(blob, {});
}

// An archive path ("Meshes/Orc_0.EMD") or a file path; its .ESA beside it when there is one.
std::optional<Loaded> LoadNamed(const std::string& name, const std::set<std::string>& level, bool lightmap) {
    Loaded out;
    out.stem = Stem(name);
    out.model = std::make_unique<model::Model>();
    model::Model& m = *out.model;
    const fs::path path(name);
    const bool isFile = fs::is_regular_file(path);
    std::optional<std::vector<std::uint8_t>> mesh = isFile ? ReadFile(path) : FromArchive(name);
    if (!mesh || m.LoadModelFromBytes(*mesh) != S_OK) {
        std::fprintf(stderr, "meshview: cannot load %s\n", name.c_str());
        return std::nullopt;
    }
    const std::string base = name.substr(0, name.size() - fs::path(name).extension().string().size());
    std::optional<std::vector<std::uint8_t>> anim = isFile ? ReadFile(base + ".ESA") : FromArchive(base + ".ESA");
    if (!anim && isFile) anim = ReadFile(base + ".esa");
    if (anim && m.LoadAnimationFromBytes(*anim) != S_OK)
        std::fprintf(stderr, "meshview: %s: its animation was rejected\n", name.c_str());
    if (isFile) {
        LoadFileTextures(m, path);
    } else {
        m.LoadModelTextures();
    }
    // The _Bump twins of level models carry DOT3 maps in that slot, meant for a per-pixel
    // lighting pass this viewer does not have: they are shown lit like any other model.
    bool dot3 = false;
    for (const auto& material : m.Materials())
        dot3 = dot3 || Lower(material.bumpMap.Name).find("dot3") != std::string::npos;
    out.level = lightmap || (!dot3 && level.count(Lower(path.filename().string())) != 0);
    if (const float h = FitHeightFor(out.stem); h > 0.0f) m.FitHeight(h);
    m.SetPosition(0.0f, 0.0f, 0.0f);
    m.SetRotation(0.0f, 0.0f, 0.0f);
    return out;
}

// The placed model's world-space box.
void WorldBox(const model::Model& m, D3DXVECTOR3& lo, D3DXVECTOR3& hi) {
    lo = D3DXVECTOR3(1e30f, 1e30f, 1e30f);
    hi = D3DXVECTOR3(-1e30f, -1e30f, -1e30f);
    const D3DXVECTOR3 a = m.BoxMin(), b = m.BoxMax();
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR3 corner(i & 1 ? b.x : a.x, i & 2 ? b.y : a.y, i & 4 ? b.z : a.z);
        D3DXVECTOR3 w;
        D3DXVec3TransformCoord(&w, &corner, &m.World());
        lo = D3DXVECTOR3(std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z));
        hi = D3DXVECTOR3(std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z));
    }
}

class Viewer {
public:
    explicit Viewer(const Options& options) : options_(options) {}
    ~Viewer() {
        display::Textures().ReleaseAll();
        if (capture_ != nullptr) capture_->Release();
        if (device_ != nullptr) device_->Release();
        if (d3d_ != nullptr) d3d_->Release();
    }

    // With `window` (an SDL window of the host port) the device draws into it; otherwise headless.
    int Open(HWND window = nullptr) {
        if (window != nullptr) return CreateDevice(window);
        gl::HeadlessOptions headless;
        const int w = options_.width, h = options_.height;
        headless.queryWindow = [w, h](HWND, int& cw, int& ch, bool& visible) {
            cw = w;
            ch = h;
            visible = true;
            return true;
        };
        gl::UseHeadlessWindowSystem(headless);
        if (!gl::HeadlessContextAvailable()) {
            std::fprintf(stderr, "meshview: no headless OpenGL 3.3 context (EGL surfaceless)\n");
            return 77;
        }
        return CreateDevice(reinterpret_cast<HWND>(this));
    }

    int CreateDevice(HWND window) {
        const int w = options_.width, h = options_.height;
        d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
        if (d3d_ == nullptr) return 2;
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = static_cast<UINT>(w);
        params.BackBufferHeight = static_cast<UINT>(h);
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.hDeviceWindow = window;
        params.EnableAutoDepthStencil = TRUE;
        params.AutoDepthStencilFormat = D3DFMT_D24X8;
        if (FAILED(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, params.hDeviceWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                      &params, &device_)) ||
            FAILED(device_->CreateImageSurface(params.BackBufferWidth, params.BackBufferHeight, D3DFMT_A8R8G8B8,
                                               &capture_))) {
            std::fprintf(stderr, "meshview: cannot create the device\n");
            return 2;
        }
        display::VertexBuffers().AttachDevice(device_);
        display::Textures().Init(d3d_, device_, params.BackBufferFormat, params.hDeviceWindow);
        display::Textures().SetQuiet(true);
        return 0;
    }

    // Draws the models seen from `eye` towards `at` and writes the picture.
    bool Shoot(const std::vector<model::Model*>& models, bool level, const D3DXVECTOR3& eye,
               const D3DXVECTOR3& at, float farZ, const std::string& file) {
        Draw(models, level, eye, at, farZ);
        return Save(file);
    }

    void Draw(const std::vector<model::Model*>& models, bool level, const D3DXVECTOR3& eye,
              const D3DXVECTOR3& at, float farZ) {
        D3DXMATRIX view, projection;
        const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, kFovY,
                                   static_cast<float>(options_.width) / static_cast<float>(options_.height),
                                   farZ / 2000.0f, farZ);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        model::UpdateFrustumPlanes(view, projection);

        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        device_->BeginScene();
        SetDrawingState(level);
        for (model::Model* m : models) {
            m->bumpStage = level;  // a level model's second map is its light map
            m->RenderModel(device_);
        }
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }

private:
    void SetDrawingState(bool level) {
        device_->SetRenderState(D3DRS_ZENABLE, TRUE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
        D3DMATERIAL8 material{};
        material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
        device_->SetMaterial(&material);
        if (level) {
            // As the scene draws its level: unlit, the light map (uv set 1) times four over the
            // coloured texture, so 64/255 leaves the texture as it is.
            device_->SetRenderState(D3DRS_LIGHTING, FALSE);
            device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE4X);
            device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
            device_->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
            device_->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            return;
        }
        // Moonlight from above and the front left, a cool ambient.
        device_->SetRenderState(D3DRS_LIGHTING, TRUE);
        device_->SetRenderState(D3DRS_AMBIENT, 0xFF4A5060);
        D3DLIGHT8 moon{};
        moon.Type = D3DLIGHT_DIRECTIONAL;
        moon.Diffuse = {0.85f, 0.88f, 1.0f, 1.0f};
        D3DXVECTOR3 direction(0.4f, -0.75f, 0.55f);
        D3DXVec3Normalize(&direction, &direction);
        moon.Direction = {direction.x, direction.y, direction.z};
        device_->SetLight(0, &moon);
        device_->LightEnable(0, TRUE);
        device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    }

    bool Save(const std::string& file) {
        if (FAILED(device_->GetFrontBuffer(capture_))) return false;
        D3DLOCKED_RECT lr{};
        if (FAILED(capture_->LockRect(&lr, nullptr, D3DLOCK_READONLY))) return false;
        std::vector<unsigned char> rgb(static_cast<std::size_t>(options_.width) * options_.height * 3);
        for (int y = 0; y < options_.height; ++y) {
            const auto* row = static_cast<const std::uint8_t*>(lr.pBits) + static_cast<std::ptrdiff_t>(y) * lr.Pitch;
            for (int x = 0; x < options_.width; ++x) {
                std::uint32_t p;
                std::memcpy(&p, row + x * 4, 4);
                unsigned char* o = &rgb[(static_cast<std::size_t>(y) * options_.width + x) * 3];
                o[0] = static_cast<unsigned char>(p >> 16);
                o[1] = static_cast<unsigned char>(p >> 8);
                o[2] = static_cast<unsigned char>(p);
            }
        }
        capture_->UnlockRect();
        std::string error;
        if (!WritePng(file, options_.width, options_.height, rgb, error)) {
            std::fprintf(stderr, "meshview: %s\n", error.c_str());
            return false;
        }
        return true;
    }

    const Options& options_;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    IDirect3DSurface8* capture_ = nullptr;
};

// The orc's weapon and shield, placed in its hands for the current pose.
struct Gear {
    std::unique_ptr<model::Model> weapon, shield;
    scene::GripEntry grip;
    void Place(model::Model& orc) {
        orc.ApplySkinning();
        auto place = [&](model::Model* item, int boneIndex, const scene::GripPose& pose) {
            const model::ModelBone* bone = orc.Bone(boneIndex);
            if (item == nullptr || bone == nullptr) return;
            const scene::ItemPlacement p = scene::ItemTransform(bone->matrix, pose, orc.Rotation(), orc.World());
            item->SetRotationMatrix(p.rotation);
            item->SetPosition(p.position.x, p.position.y, p.position.z);
        };
        place(weapon.get(), grip.weaponBone, gearWeaponPose);
        place(shield.get(), grip.shieldBone, gearShieldPose);
    }
    scene::GripPose gearWeaponPose{}, gearShieldPose{};
};

std::unique_ptr<model::Model> LoadItem(const std::string& name, float height) {
    auto bytes = FromArchive(name);
    auto m = std::make_unique<model::Model>();
    if (!bytes || m->LoadModelFromBytes(*bytes) != S_OK) {
        std::fprintf(stderr, "meshview: cannot load %s\n", name.c_str());
        return nullptr;
    }
    m->LoadModelTextures();
    m->FitHeight(height);
    return m;
}

// The orbit window's input: the pointer over the client area turns the camera; a key or the
// close box ends the viewer.
struct WindowInput {
    int x = 0, y = 0;
    bool quit = false;
};
WindowInput g_input;
host::HostPort* g_host = nullptr;

LRESULT ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            g_input.x = static_cast<short>(lParam & 0xFFFF);
            g_input.y = static_cast<short>((lParam >> 16) & 0xFFFF);
            return 0;
        case WM_KEYDOWN:
        case WM_CLOSE:
        case WM_DESTROY: g_input.quit = true; return 0;
        default: break;
    }
    return g_host != nullptr ? g_host->DefaultWindowProc(window, message, wParam, lParam) : 0;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--out") {
            if (!value(options.outDir)) return false;
        } else if (a == "--views" || a == "--times") {
            if (!value(v)) return false;
            if (!ParseInt(v, a == "--views" ? options.views : options.times, a == "--views" ? 1 : 0, 360)) {
                error = "bad " + a + " value: " + v;
                return false;
            }
        } else if (a == "--size") {
            if (!value(v)) return false;
            const std::size_t x = v.find('x');
            if (x == std::string::npos || !ParseInt(v.substr(0, x), options.width, 16, 4096) ||
                !ParseInt(v.substr(x + 1), options.height, 16, 4096)) {
                error = "bad --size value (WxH): " + v;
                return false;
            }
        } else if (a == "--gear") {
            if (!value(v)) return false;
            const std::size_t comma = v.find(',');
            if (comma == std::string::npos ||
                !ParseInt(v.substr(0, comma), options.weapon, 0, static_cast<int>(scene::kWeaponCount) - 1) ||
                !ParseInt(v.substr(comma + 1), options.shield, 0, static_cast<int>(scene::kShieldCount) - 1)) {
                error = "bad --gear value (WEAPON,SHIELD): " + v;
                return false;
            }
        } else if (a == "--lightmap") {
            options.lightmap = true;
        } else if (a == "--window") {
            options.window = true;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            options.names.push_back(a);
        }
    }
    if (options.names.empty()) {
        error = "no model named";
        return false;
    }
    if (options.outDir.empty() && !options.window) {
        error = "--out DIR is needed";
        return false;
    }
    return true;
}

std::string Stem(const std::string& name) {
    std::string s = name;
    const std::size_t slash = s.find_last_of("/\\");
    if (slash != std::string::npos) s = s.substr(slash + 1);
    const std::size_t dot = s.rfind('.');
    if (dot != std::string::npos && dot > 0) s = s.substr(0, dot);
    return s;
}

float FitHeightFor(const std::string& stem) {
    if (NumberAfter(stem, "Orc_") >= 0) return kOrcHeight;
    const int w = NumberAfter(stem, "Weapon_");
    if (w >= 0 && w < static_cast<int>(scene::kWeaponCount)) return kWeaponHeights[w];
    const int s = NumberAfter(stem, "Shield_");
    if (s >= 0 && s < static_cast<int>(scene::kShieldCount)) return kShieldHeights[s];
    return 0.0f;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb,
              std::string& error) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
        error = "picture size does not match its pixels";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        error = "cannot write " + path + ": " + image.message;
        return false;
    }
    return true;
}

int Run(const Options& options) {
    std::unique_ptr<host::SdlHost> sdl;
    HWND window = nullptr;
    if (options.window) {
        gl::UseSdlWindowSystem();
        sdl = std::make_unique<host::SdlHost>();
        std::string error;
        if (!sdl->Init(error)) {
            std::fprintf(stderr, "meshview: no display for --window: %s\n", error.c_str());
            return 2;
        }
        g_host = sdl.get();
        sdl->RegisterWindowClass(host::WindowClass{"meshview", &ViewerProc, 0});
        host::WindowSpec spec;
        spec.role = host::WindowRole::Test;
        spec.className = "meshview";
        spec.title = "meshview " + options.names.front();
        spec.rect = RECT{50, 50, 50 + options.width, 50 + options.height};
        spec.style = 0x10CA0000;  // visible, caption, system menu, minimize box
        window = sdl->CreateSaverWindow(spec);
        if (window == nullptr) {
            std::fprintf(stderr, "meshview: cannot open a window\n");
            return 2;
        }
    } else {
        std::error_code ec;
        fs::create_directories(options.outDir, ec);
    }
    Viewer viewer(options);
    if (const int status = viewer.Open(window); status != 0) return status;
    const std::set<std::string> level = LevelModels();

    int status = 0;
    for (const std::string& name : options.names) {
        std::optional<Loaded> loaded = LoadNamed(name, level, options.lightmap);
        if (!loaded) {
            status = 1;
            continue;
        }
        model::Model& m = *loaded->model;
        std::vector<model::Model*> drawn{&m};
        std::string stem = loaded->stem;

        Gear gear;
        const int orc = NumberAfter(stem, "Orc_");
        if (options.weapon >= 0 && orc >= 0 && orc < static_cast<int>(scene::kOrcModelCount)) {
            const auto table = FromArchive("Data\\Orcs.dat");
            scene::GripTable grips;
            if (table && scene::ReadGripTable(table->data(), table->size(), grips) == S_OK) {
                gear.grip = grips.entries[static_cast<std::size_t>(orc)];
                gear.gearWeaponPose = gear.grip.weapons[static_cast<std::size_t>(options.weapon)];
                gear.gearShieldPose = gear.grip.shields[static_cast<std::size_t>(options.shield)];
                gear.weapon = LoadItem("Meshes\\Weapon_" + std::to_string(options.weapon) + ".EMD",
                                       kWeaponHeights[options.weapon]);
                gear.shield = LoadItem("Meshes\\Shield_" + std::to_string(options.shield) + ".EMD",
                                       kShieldHeights[options.shield]);
                if (gear.weapon) drawn.push_back(gear.weapon.get());
                if (gear.shield) drawn.push_back(gear.shield.get());
                stem += "_gear";
            } else {
                std::fprintf(stderr, "meshview: no grip table (Data/Orcs.dat); drawing %s bare\n", name.c_str());
            }
        }
        auto pose = [&](float t) {
            if (m.AnimLoaded()) m.SetTime(t);
            if (gear.weapon || gear.shield) gear.Place(m);
        };
        pose(0.0f);

        D3DXVECTOR3 lo, hi;
        WorldBox(m, lo, hi);
        const D3DXVECTOR3 centre = (lo + hi) * 0.5f;
        const D3DXVECTOR3 half = (hi - lo) * 0.5f;
        const float radius = std::max(0.01f, D3DXVec3Length(&half));
        const float aspect = static_cast<float>(options.width) / static_cast<float>(options.height);
        const float fit = std::min(std::tan(kFovY / 2.0f), std::tan(kFovY / 2.0f) * aspect);
        const float distance = radius / fit * 1.05f;
        float pitch = 20.0f * kPi / 180.0f;
        // View k: around the Y axis from the front (the model looks along -Z), a little from above.
        auto eyeAt = [&](float yawDegrees) {
            const float yaw = yawDegrees * kPi / 180.0f;
            return D3DXVECTOR3(centre.x + distance * std::cos(pitch) * std::sin(yaw),
                               centre.y + distance * std::sin(pitch),
                               centre.z - distance * std::cos(pitch) * std::cos(yaw));
        };
        const float farZ = distance + radius * 2.0f + 1.0f;
        if (sdl) {
            // Orbit: the pointer's x turns the camera about Y, its y raises it; the loop plays.
            float t = 0.0f;
            DWORD last = sdl->TimeGetTime();
            while (!g_input.quit) {
                host::Message message;
                while (sdl->PeekMessage(message)) sdl->DispatchMessage(message);
                const DWORD now = sdl->TimeGetTime();
                t += static_cast<float>(now - last);
                last = now;
                if (m.AnimLoaded() && m.AnimLength() > 0) pose(std::fmod(t, static_cast<float>(m.AnimLength())));
                pitch = (-10.0f + 80.0f * g_input.y / static_cast<float>(options.height)) * kPi / 180.0f;
                viewer.Draw(drawn, loaded->level, eyeAt(360.0f * g_input.x / static_cast<float>(options.width)),
                            centre, farZ);
                sdl->Sleep(10);
            }
            return status;
        }
        for (int k = 0; k < options.views; ++k) {
            const std::string file = options.outDir + "/" + stem + "_v" + std::to_string(k) + ".png";
            if (!viewer.Shoot(drawn, loaded->level, eyeAt(360.0f * k / options.views), centre, farZ, file)) status = 1;
        }
        if (m.AnimLoaded() && m.AnimLength() > 0) {
            for (int k = 0; k < options.times; ++k) {
                pose(static_cast<float>(m.AnimLength()) * k / options.times);
                const std::string file = options.outDir + "/" + stem + "_t" + std::to_string(k) + ".png";
                if (!viewer.Shoot(drawn, loaded->level, eyeAt(35.0f), centre, farZ, file)) status = 1;
            }
        }
        std::printf("%s: %u meshes, %d bones%s%s\n", name.c_str(), m.MeshCount(), m.BoneCount(),
                    m.AnimLoaded() ? ", animated" : "", loaded->level ? ", level (light map)" : "");
    }
    return status;
}

}  // namespace meshview
