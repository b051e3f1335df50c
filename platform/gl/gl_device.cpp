// The device: Direct3D 8 state kept as the API defines it, turned into GL state and generated
// GLSL programs only when it changed. Frames render into our own framebuffer objects with
// row 0 at the top, as Direct3D addresses them; Present applies the gamma ramp on the way to the
// front buffer.
#include "platform/gl/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gl/gl_direct3d.h"

namespace gl {
namespace {

Device* g_current = nullptr;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}
float BitsFloat(DWORD d) {
    float f;
    std::memcpy(&f, &d, 4);
    return f;
}

void ColourToFloats(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xff) / 255.f;
    out[1] = static_cast<float>((c >> 8) & 0xff) / 255.f;
    out[2] = static_cast<float>(c & 0xff) / 255.f;
    out[3] = static_cast<float>(c >> 24) / 255.f;
}

struct FvfLayout {
    bool valid = false;
    bool rhw = false, normal = false, diffuse = false, specular = false;
    int positionFloats = 3;
    int texCount = 0;
    int texSize[8] = {};
    int normalOffset = 0, diffuseOffset = 0, specularOffset = 0;
    int texOffset[8] = {};
    int size = 0;
};

FvfLayout DecodeFvf(DWORD fvf) {
    FvfLayout l;
    const DWORD pos = fvf & D3DFVF_POSITION_MASK;
    int offset = 0;
    switch (pos) {
        case D3DFVF_XYZ: offset = 12; break;
        case D3DFVF_XYZRHW: offset = 16; l.rhw = true; l.positionFloats = 4; break;
        case D3DFVF_XYZB1: case D3DFVF_XYZB2: case D3DFVF_XYZB3: case D3DFVF_XYZB4: case D3DFVF_XYZB5:
            offset = 12 + 4 * static_cast<int>((pos - D3DFVF_XYZ) / 2);  // blend weights are skipped
            break;
        default: return l;
    }
    if (fvf & D3DFVF_NORMAL) { l.normal = true; l.normalOffset = offset; offset += 12; }
    if (fvf & D3DFVF_PSIZE) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) { l.diffuse = true; l.diffuseOffset = offset; offset += 4; }
    if (fvf & D3DFVF_SPECULAR) { l.specular = true; l.specularOffset = offset; offset += 4; }
    l.texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (l.texCount > 8) return l;
    for (int i = 0; i < l.texCount; ++i) {
        static constexpr int sizes[4] = {2, 3, 4, 1};
        l.texSize[i] = sizes[(fvf >> (16 + 2 * i)) & 3];
        l.texOffset[i] = offset;
        offset += 4 * l.texSize[i];
    }
    l.size = offset;
    l.valid = true;
    return l;
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT prims) {
    switch (type) {
        case D3DPT_POINTLIST: return prims;
        case D3DPT_LINELIST: return prims * 2;
        case D3DPT_LINESTRIP: return prims + 1;
        case D3DPT_TRIANGLELIST: return prims * 3;
        case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: return prims + 2;
        default: return 0;
    }
}

GLuint Compile(GLenum type, const std::string& source) {
    GLuint s = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(s, sizeof(log), nullptr, log);
        std::fprintf(stderr, "grim_gl: shader compile failed: %s\n%s\n", log, text);
        glDeleteShader(s);
        return 0;
    }
    return s;
}

GLuint Link(const std::string& vs, const std::string& fs) {
    GLuint v = Compile(GL_VERTEX_SHADER, vs), f = Compile(GL_FRAGMENT_SHADER, fs);
    if (!v || !f) {
        if (v) glDeleteShader(v);
        if (f) glDeleteShader(f);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    glAttachShader(p, f);
    glBindAttribLocation(p, 0, "a_pos");
    glBindAttribLocation(p, 1, "a_normal");
    glBindAttribLocation(p, 2, "a_diffuse");
    for (int i = 0; i < kMaxStages; ++i) glBindAttribLocation(p, 4 + i, ("a_tex" + std::to_string(i)).c_str());
    glBindFragDataLocation(p, 0, "o_color");
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetProgramInfoLog(p, sizeof(log), nullptr, log);
        std::fprintf(stderr, "grim_gl: program link failed: %s\n", log);
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

// Vertex key bits.
enum : std::uint32_t {
    kVRhw = 1u << 0, kVNormal = 1u << 1, kVDiffuse = 1u << 2, kVLighting = 1u << 3, kVNormalize = 1u << 4,
    kVDiffuseFromVertex = 1u << 5, kVAmbientFromVertex = 1u << 6, kVEmissiveFromVertex = 1u << 7, kVFlat = 1u << 8,
    kVTexShift = 9,     // 3 bits: texture coordinate sets
    kVLightShift = 12,  // 3 bits: lights
    kVFogShift = 15,    // 2 bits: fog mode
};
// Fragment key bits.
enum : std::uint32_t { kFAlphaTestShift = 0 /* 4 bits: compare function, 0 off */, kFFog = 1u << 4, kFFlat = 1u << 5 };

// Stage key fields.
struct StageFields {
    unsigned colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2, texCoord, texType;
};
std::uint64_t PackStage(const StageFields& s) {
    return static_cast<std::uint64_t>(s.colorOp) | static_cast<std::uint64_t>(s.colorArg1) << 5 |
           static_cast<std::uint64_t>(s.colorArg2) << 11 | static_cast<std::uint64_t>(s.alphaOp) << 17 |
           static_cast<std::uint64_t>(s.alphaArg1) << 22 | static_cast<std::uint64_t>(s.alphaArg2) << 28 |
           static_cast<std::uint64_t>(s.texCoord) << 34 | static_cast<std::uint64_t>(s.texType) << 37;
}
StageFields UnpackStage(std::uint64_t v) {
    return {static_cast<unsigned>(v & 31), static_cast<unsigned>((v >> 5) & 63), static_cast<unsigned>((v >> 11) & 63),
            static_cast<unsigned>((v >> 17) & 31), static_cast<unsigned>((v >> 22) & 63), static_cast<unsigned>((v >> 28) & 63),
            static_cast<unsigned>((v >> 34) & 7), static_cast<unsigned>((v >> 37) & 3)};
}

std::string ArgExpr(unsigned arg, int stage, bool alpha) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: base = "diffuse"; break;
        case D3DTA_CURRENT: base = "current"; break;
        case D3DTA_TEXTURE: base = "tex" + std::to_string(stage); break;
        case D3DTA_TFACTOR: base = "u_tfactor"; break;
        case D3DTA_TEMP: base = "temp"; break;
        default: base = "vec4(0.0)"; break;  // specular is not interpolated
    }
    if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    if ((arg & D3DTA_ALPHAREPLICATE) && !alpha) base = "(" + base + ").aaaa";
    return base;
}

// The expression of a stage operation on arguments a and b (".rgb" or ".a" selected by `sel`).
std::string OpExpr(unsigned op, const std::string& a, const std::string& b, const std::string& sel, int stage) {
    const std::string A = a + sel, B = b + sel;
    const std::string t = "tex" + std::to_string(stage);
    switch (op) {
        case D3DTOP_SELECTARG2: return B;
        case D3DTOP_MODULATE: return A + " * " + B;
        case D3DTOP_MODULATE2X: return A + " * " + B + " * 2.0";
        case D3DTOP_MODULATE4X: return A + " * " + B + " * 4.0";
        case D3DTOP_ADD: return A + " + " + B;
        case D3DTOP_ADDSIGNED: return A + " + " + B + " - 0.5";
        case D3DTOP_ADDSIGNED2X: return "(" + A + " + " + B + " - 0.5) * 2.0";
        case D3DTOP_SUBTRACT: return A + " - " + B;
        case D3DTOP_ADDSMOOTH: return A + " + " + B + " - " + A + " * " + B;
        case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + B + ", " + A + ", diffuse.a)";
        case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + B + ", " + A + ", " + t + ".a)";
        case D3DTOP_BLENDFACTORALPHA: return "mix(" + B + ", " + A + ", u_tfactor.a)";
        case D3DTOP_BLENDCURRENTALPHA: return "mix(" + B + ", " + A + ", current.a)";
        case D3DTOP_BLENDTEXTUREALPHAPM: return A + " + " + B + " * (1.0 - " + t + ".a)";
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return sel == ".a" ? A : A + " + " + a + ".a * " + B;
        case D3DTOP_MODULATECOLOR_ADDALPHA: return sel == ".a" ? A : A + " * " + B + " + " + a + ".a";
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return sel == ".a" ? A : "(1.0 - " + a + ".a) * " + B + " + " + A;
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return sel == ".a" ? A : "(1.0 - " + A + ") * " + B + " + " + a + ".a";
        case D3DTOP_DOTPRODUCT3:
            return "vec4(dot((" + a + ".rgb - 0.5) * 2.0, (" + b + ".rgb - 0.5) * 2.0))" + sel;
        default: return A;  // D3DTOP_SELECTARG1 and anything we do not implement
    }
}

const char* kFullScreenVs = R"(#version 330 core
out vec2 v_uv;
void main() {
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    v_uv = p;
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)";

const char* kGammaFs = R"(#version 330 core
uniform sampler2D u_image;
uniform sampler2D u_ramp;
in vec2 v_uv;
out vec4 o_color;
void main() {
    vec4 c = texelFetch(u_image, ivec2(gl_FragCoord.xy), 0);
    ivec3 i = ivec3(clamp(c.rgb, 0.0, 1.0) * 255.0 + 0.5);
    vec3 ramp = vec3(texelFetch(u_ramp, ivec2(i.r, 0), 0).r, texelFetch(u_ramp, ivec2(i.g, 0), 0).g,
                     texelFetch(u_ramp, ivec2(i.b, 0), 0).b);
    // An 8-bit display takes the high byte of each 16-bit ramp entry, so 0xFF00 is full intensity.
    o_color = vec4(floor((ramp * 65535.0 + 0.5) / 256.0) / 255.0, c.a);
}
)";

}  // namespace

// ---------------------------------------------------------------- life cycle

Device::Device(Direct3D* d3d, UINT adapter, HWND window, DWORD behaviour, std::unique_ptr<GlContext> context)
    : d3d_(d3d), adapter_(adapter), window_(window), behaviour_(behaviour), context_(std::move(context)) {
    d3d_->AddRef();
    MakeCurrent();
    for (int i = 0; i < 256; ++i) {
        const WORD v = static_cast<WORD>(i * 257);
        gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = v;
    }
}

Device::~Device() {
    MakeCurrent();
    for (Texture*& t : textures_)
        if (t) { Texture* x = t; t = nullptr; x->Unbind(); }
    if (stream_) { auto* x = stream_; stream_ = nullptr; x->Unbind(); }
    if (indices_) { auto* x = indices_; indices_ = nullptr; x->Unbind(); }
    if (renderTarget_) { auto* x = renderTarget_; renderTarget_ = nullptr; x->UnbindSurface(); }
    if (depthStencil_) { auto* x = depthStencil_; depthStencil_ = nullptr; x->UnbindSurface(); }
    if (backBuffer_) { auto* x = backBuffer_; backBuffer_ = nullptr; x->Unbind(); }
    if (autoDepth_) { auto* x = autoDepth_; autoDepth_ = nullptr; x->Unbind(); }
    // Whatever the program still holds outlives us as an empty shell.
    std::vector<Resource*> left(resources_.begin(), resources_.end());
    for (Resource* r : left) r->Orphan();
    resources_.clear();
    for (auto& [key, p] : programs_) glDeleteProgram(p.id);
    if (gammaProgram_) glDeleteProgram(gammaProgram_);
    GLuint textures[] = {gammaTexture_, frontTexture_};
    glDeleteTextures(2, textures);
    GLuint fbos[] = {drawFbo_, readFbo_, frontFbo_};
    glDeleteFramebuffers(3, fbos);
    GLuint buffers[] = {upVbo_, upIbo_};
    glDeleteBuffers(2, buffers);
    GLuint vaos[] = {vao_, emptyVao_};
    glDeleteVertexArrays(2, vaos);
    glDeleteSamplers(kMaxStages, samplers_.data());
    context_.reset();
    if (g_current == this) g_current = nullptr;
    d3d_->Release();
}

void Device::MakeCurrent() {
    if (g_current != this) {
        context_->MakeCurrent();
        g_current = this;
    }
}

void Device::ForgetSurface(Surface* s) {
    if (backBuffer_ == s) backBuffer_ = nullptr;
    if (autoDepth_ == s) autoDepth_ = nullptr;
}

HRESULT Device::Init(D3DPRESENT_PARAMETERS* params) {
    MakeCurrent();
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    for (GLint i = 0; i < extensions; ++i) {
        const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, "GL_EXT_texture_compression_s3tc") == 0) s3tc_ = true;
    }
    glGenFramebuffers(1, &drawFbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenFramebuffers(1, &frontFbo_);
    glGenVertexArrays(1, &vao_);
    glGenVertexArrays(1, &emptyVao_);
    glGenBuffers(1, &upVbo_);
    glGenBuffers(1, &upIbo_);
    glGenSamplers(kMaxStages, samplers_.data());
    for (int i = 0; i < kMaxStages; ++i) glBindSampler(static_cast<GLuint>(i), samplers_[i]);
    glBindVertexArray(vao_);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex's colour
    gammaProgram_ = Link(kFullScreenVs, kGammaFs);
    if (!gammaProgram_) return D3DERR_NOTAVAILABLE;
    glUseProgram(gammaProgram_);
    glUniform1i(glGetUniformLocation(gammaProgram_, "u_image"), 0);
    glUniform1i(glGetUniformLocation(gammaProgram_, "u_ramp"), 1);
    glGenTextures(1, &gammaTexture_);
    SetGammaRamp(0, &gamma_);
    return Reset(params);
}

bool Device::CreateBackBuffers() {
    if (!backBuffer_) {
        backBuffer_ = new Surface(this, Surface::Kind::RenderTarget, params_.BackBufferFormat, 1, 1);
        backBuffer_->Bind();
        backBuffer_->Release();  // the device's bind keeps it
    }
    backBuffer_->Resize(params_.BackBufferWidth, params_.BackBufferHeight, params_.BackBufferFormat);
    if (!backBuffer_->Allocate()) return false;
    if (params_.EnableAutoDepthStencil) {
        if (!autoDepth_) {
            autoDepth_ = new Surface(this, Surface::Kind::DepthStencil, params_.AutoDepthStencilFormat, 1, 1);
            autoDepth_->Bind();
            autoDepth_->Release();
        }
        autoDepth_->Resize(params_.BackBufferWidth, params_.BackBufferHeight, params_.AutoDepthStencilFormat);
        autoDepth_->Allocate();
    }
    frontWidth_ = params_.BackBufferWidth;
    frontHeight_ = params_.BackBufferHeight;
    if (!frontTexture_) glGenTextures(1, &frontTexture_);
    glActiveTexture(GL_TEXTURE0 + kMaxStages);
    glBindTexture(GL_TEXTURE_2D, frontTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(frontWidth_), static_cast<GLsizei>(frontHeight_), 0,
                 GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, frontFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frontTexture_, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    return true;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    MakeCurrent();
    D3DPRESENT_PARAMETERS p = *params;
    if (p.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
    const FormatInfo* fi = FindFormat(p.BackBufferFormat);
    if (!fi || !fi->renderTarget) return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil && !IsDepthFormat(p.AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
    if (p.Windowed && (p.BackBufferWidth == 0 || p.BackBufferHeight == 0)) {
        // A windowed device takes the client area of its window.
        int w = 0, h = 0;
        bool visible = true;
        bool known = false;
        if (d3d_->system() == WindowSystem::Headless) {
            if (d3d_->headless().queryWindow) known = d3d_->headless().queryWindow(window_, w, h, visible);
        } else {
            known = context_->WindowState(w, h, visible);
        }
        if (!known || w <= 0 || h <= 0) { w = 1024; h = 768; }
        if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(w);
        if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(h);
    }
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0 || p.BackBufferWidth > 8192 || p.BackBufferHeight > 8192)
        return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    *params = p;
    params_ = p;
    // Render targets and depth surfaces of the default pool stay valid across a reset here;
    // only the swap chain is rebuilt.
    if (!CreateBackBuffers()) return D3DERR_NOTAVAILABLE;
    if (renderTarget_) renderTarget_->UnbindSurface();
    renderTarget_ = backBuffer_;
    renderTarget_->BindSurface();
    if (depthStencil_) depthStencil_->UnbindSurface();
    depthStencil_ = autoDepth_;
    if (depthStencil_) depthStencil_->BindSurface();
    targetDirty_ = true;
    SetDefaultState();
    lostSeen_ = false;
    inScene_ = false;
    return D3D_OK;
}

void Device::SetDefaultState() {
    rs_.fill(0);
    rs_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs_[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs_[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs_[D3DRS_ZWRITEENABLE] = TRUE;
    rs_[D3DRS_LASTPIXEL] = TRUE;
    rs_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs_[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs_[D3DRS_FOGSTART] = FloatBits(0.0f);
    rs_[D3DRS_FOGEND] = FloatBits(1.0f);
    rs_[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs_[D3DRS_STENCILFAIL] = rs_[D3DRS_STENCILZFAIL] = rs_[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs_[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs_[D3DRS_STENCILMASK] = rs_[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs_[D3DRS_CLIPPING] = TRUE;
    rs_[D3DRS_LIGHTING] = TRUE;
    rs_[D3DRS_COLORVERTEX] = TRUE;
    rs_[D3DRS_LOCALVIEWER] = TRUE;
    rs_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs_[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs_[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs_[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs_[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs_[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
    rs_[D3DRS_COLORWRITEENABLE] = 0xF;
    rs_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    for (int s = 0; s < kMaxStages; ++s) {
        auto& t = tss_[s];
        t.fill(0);
        t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
        t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        t[D3DTSS_MAGFILTER] = t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        t[D3DTSS_MAXANISOTROPY] = 1;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        samplerDirty_[s] = textureDirty_[s] = true;
    }
    world_ = view_ = projection_ = Identity();
    textureMatrix_.fill(Identity());
    viewport_ = {0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
    material_ = {};
    for (auto& l : lights_) {
        l = {};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1, 1, 1, 0};
        l.Direction = {0, 0, 1};
    }
    lightEnabled_.fill(false);
    fvf_ = 0;
    fixedDirty_ = keyDirty_ = true;
    ++transformSerial_;
    ++lightSerial_;
    ++miscSerial_;
    ++viewportSerial_;
    boundVbo_ = ~0u;
    boundIbo_ = ~0u;
    current_ = nullptr;
}

HRESULT Device::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice8) {
        *ppv = static_cast<IDirect3DDevice8*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// ---------------------------------------------------------------- device loss and presentation

bool Device::IsLost() {
    if (SimulatedLoss()) return true;
    if (params_.Windowed) return false;
    int w = 0, h = 0;
    bool visible = true;
    bool known = false;
    if (d3d_->system() == WindowSystem::Headless) {
        if (d3d_->headless().queryWindow) known = d3d_->headless().queryWindow(window_, w, h, visible);
    } else {
        known = context_->WindowState(w, h, visible);
    }
    return known && !visible;
}

HRESULT Device::TestCooperativeLevel() {
    if (IsLost()) {
        lostSeen_ = true;
        return D3DERR_DEVICELOST;
    }
    return lostSeen_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (IsLost()) {
        lostSeen_ = true;
        return D3DERR_DEVICELOST;
    }
    if (lostSeen_) return D3DERR_DEVICELOST;
    if (inScene_) return D3DERR_INVALIDCALL;
    MakeCurrent();
    glBindFramebuffer(GL_FRAMEBUFFER, frontFbo_);
    glViewport(0, 0, static_cast<GLsizei>(frontWidth_), static_cast<GLsizei>(frontHeight_));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glUseProgram(gammaProgram_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, backBuffer_->glTexture());
    glBindSampler(0, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, gammaTexture_);
    glBindSampler(1, 0);
    glBindVertexArray(emptyVao_);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(vao_);
    glBindSampler(0, samplers_[0]);
    glBindSampler(1, samplers_[1]);
    context_->ShowFrame(frontFbo_, static_cast<int>(frontWidth_), static_cast<int>(frontHeight_));
    // What we disturbed is set again before the next draw.
    current_ = nullptr;
    fixedDirty_ = true;
    targetDirty_ = true;
    textureDirty_[0] = textureDirty_[1] = true;
    return D3D_OK;
}

void Device::SetGammaRamp(DWORD, const D3DGAMMARAMP* ramp) {
    if (!ramp) return;
    gamma_ = *ramp;
    MakeCurrent();
    std::uint16_t data[256 * 4];
    for (int i = 0; i < 256; ++i) {
        data[i * 4 + 0] = gamma_.red[i];
        data[i * 4 + 1] = gamma_.green[i];
        data[i * 4 + 2] = gamma_.blue[i];
        data[i * 4 + 3] = 0xFFFF;
    }
    glActiveTexture(GL_TEXTURE0 + kMaxStages);
    glBindTexture(GL_TEXTURE_2D, gammaTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, 256, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT, data);
}

void Device::GetGammaRamp(D3DGAMMARAMP* ramp) {
    if (ramp) *ramp = gamma_;
}

HRESULT Device::GetFrontBuffer(IDirect3DSurface8* dest) {
    auto* s = static_cast<Surface*>(dest);
    if (!s || s->kind() != Surface::Kind::Image || s->format() != D3DFMT_A8R8G8B8 || s->width() < frontWidth_ ||
        s->height() < frontHeight_)
        return D3DERR_INVALIDCALL;
    MakeCurrent();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frontFbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(s->width()));
    glReadPixels(0, 0, static_cast<GLsizei>(frontWidth_), static_cast<GLsizei>(frontHeight_), GL_BGRA, GL_UNSIGNED_BYTE,
                 s->memory().data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    targetDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (index != 0 || !backBuffer_) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *pp = backBuffer_;
    return D3D_OK;
}

HRESULT Device::GetRasterStatus(D3DRASTER_STATUS* status) {
    if (!status) return D3DERR_INVALIDCALL;
    status->InVBlank = FALSE;
    status->ScanLine = 0;
    return D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *pp = d3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    Direct3D::FillCaps(adapter_, *caps);
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* mode) {
    if (!mode) return D3DERR_INVALIDCALL;
    if (params_.Windowed) return d3d_->GetAdapterDisplayMode(adapter_, mode);
    *mode = {params_.BackBufferWidth, params_.BackBufferHeight, params_.FullScreen_RefreshRateInHz, params_.BackBufferFormat};
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) {
    if (!p) return D3DERR_INVALIDCALL;
    *p = {adapter_, D3DDEVTYPE_HAL, window_, behaviour_};
    return D3D_OK;
}

// ---------------------------------------------------------------- resources

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    const FormatInfo* fi = FindFormat(format);
    if (!fi || width == 0 || height == 0 || width > 4096 || height > 4096) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && (!fi->renderTarget || pool != D3DPOOL_DEFAULT)) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_INVALIDCALL;
    UINT full = 1;
    while ((width >> full) || (height >> full)) ++full;
    if (levels == 0 || levels > full) levels = full;
    if (usage & D3DUSAGE_RENDERTARGET) levels = 1;
    MakeCurrent();
    TextureStorage st;
    st.format = fi;
    st.d3dFormat = format;
    st.width = width;
    st.height = height;
    st.levels = levels;
    st.faces = 1;
    st.usage = usage;
    st.pool = pool;
    auto* t = new Texture(this, std::move(st));
    if (usage & D3DUSAGE_RENDERTARGET) {
        // Contents of a fresh target are undefined; start from black.
        glBindFramebuffer(GL_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t->storage().texture, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        targetDirty_ = fixedDirty_ = true;
    }
    *pp = t;
    return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    const FormatInfo* fi = FindFormat(format);
    if (!fi || edge == 0 || edge > 4096 || (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL))) return D3DERR_INVALIDCALL;
    UINT full = 1;
    while (edge >> full) ++full;
    if (levels == 0 || levels > full) levels = full;
    MakeCurrent();
    TextureStorage st;
    st.format = fi;
    st.d3dFormat = format;
    st.width = st.height = edge;
    st.levels = levels;
    st.faces = 6;
    st.usage = usage;
    st.pool = pool;
    auto* t = new Texture(this, std::move(st));
    *pp = t->cubeFacade_;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (length == 0 || length > (256u << 20)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    *pp = new VertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (length == 0 || length > (256u << 20) || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    MakeCurrent();
    *pp = new IndexBuffer(this, length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, BOOL,
                                   IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (width == 0 || height == 0 || width > 8192 || height > 8192 || ms != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    auto* s = new Surface(this, Surface::Kind::RenderTarget, format, width, height);
    if (!s->Allocate()) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                          IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (width == 0 || height == 0 || width > 8192 || height > 8192 || ms != D3DMULTISAMPLE_NONE || !IsDepthFormat(format))
        return D3DERR_INVALIDCALL;
    auto* s = new Surface(this, Surface::Kind::DepthStencil, format, width, height);
    s->Allocate();
    *pp = s;
    return D3D_OK;
}

HRESULT Device::CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (width == 0 || height == 0 || width > 8192 || height > 8192) return D3DERR_INVALIDCALL;
    auto* s = new Surface(this, Surface::Kind::Image, format, width, height);
    if (!s->Allocate()) {
        s->Release();
        return D3DERR_INVALIDCALL;
    }
    *pp = s;
    return D3D_OK;
}

HRESULT Device::CopyRects(IDirect3DSurface8* srcIface, const RECT* rects, UINT count, IDirect3DSurface8* dstIface,
                          const POINT* points) {
    auto* src = static_cast<Surface*>(srcIface);
    auto* dst = static_cast<Surface*>(dstIface);
    if (!src || !dst || src == dst || src->format() != dst->format()) return D3DERR_INVALIDCALL;
    const FormatInfo* fi = FindFormat(src->format());
    if (!fi || fi->bytesPerPixel == 0) return D3DERR_INVALIDCALL;
    const RECT whole{0, 0, static_cast<LONG>(src->width()), static_cast<LONG>(src->height())};
    if (count == 0 || !rects) {
        rects = &whole;
        count = 1;
    }
    for (UINT i = 0; i < count; ++i) {
        const RECT& r = rects[i];
        const POINT p = points ? points[i] : POINT{r.left, r.top};
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0 || r.left < 0 || r.top < 0 || r.right > whole.right || r.bottom > whole.bottom || p.x < 0 ||
            p.y < 0 || p.x + w > static_cast<LONG>(dst->width()) || p.y + h > static_cast<LONG>(dst->height()))
            return D3DERR_INVALIDCALL;
        D3DLOCKED_RECT from{}, to{};
        const RECT target{p.x, p.y, p.x + w, p.y + h};
        if (FAILED(src->LockRect(&from, &r, D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
        if (FAILED(dst->LockRect(&to, &target, 0))) {
            src->UnlockRect();
            return D3DERR_INVALIDCALL;
        }
        for (LONG y = 0; y < h; ++y)
            std::memcpy(static_cast<std::uint8_t*>(to.pBits) + static_cast<std::size_t>(y) * to.Pitch,
                        static_cast<const std::uint8_t*>(from.pBits) + static_cast<std::size_t>(y) * from.Pitch,
                        static_cast<std::size_t>(w) * fi->bytesPerPixel);
        src->UnlockRect();
        dst->UnlockRect();
    }
    targetDirty_ = true;
    return D3D_OK;
}

// ---------------------------------------------------------------- render targets

HRESULT Device::SetRenderTarget(IDirect3DSurface8* rtIface, IDirect3DSurface8* dsIface) {
    auto* rt = static_cast<Surface*>(rtIface);
    auto* ds = static_cast<Surface*>(dsIface);
    if (rt && rt->kind() != Surface::Kind::RenderTarget &&
        !(rt->kind() == Surface::Kind::TextureLevel && (rt->container()->storage().usage & D3DUSAGE_RENDERTARGET)))
        return D3DERR_INVALIDCALL;
    if (ds && ds->kind() != Surface::Kind::DepthStencil) return D3DERR_INVALIDCALL;
    if (rt && rt != renderTarget_) {
        rt->BindSurface();
        renderTarget_->UnbindSurface();
        renderTarget_ = rt;
    }
    if (ds != depthStencil_) {
        if (ds) ds->BindSurface();
        if (depthStencil_) depthStencil_->UnbindSurface();
        depthStencil_ = ds;
    }
    viewport_ = {0, 0, renderTarget_->width(), renderTarget_->height(), 0.0f, 1.0f};
    ++viewportSerial_;
    targetDirty_ = fixedDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    renderTarget_->AddRef();
    *pp = renderTarget_;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = depthStencil_;
    if (!depthStencil_) return D3DERR_NOTFOUND;
    depthStencil_->AddRef();
    return D3D_OK;
}

void Device::ApplyRenderTarget() {
    if (!targetDirty_) return;
    targetDirty_ = false;
    glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    if (renderTarget_->kind() == Surface::Kind::TextureLevel)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, renderTarget_->glTexture(),
                               static_cast<GLint>(renderTarget_->level()));
    else
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, renderTarget_->glTexture(), 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              depthStencil_ ? depthStencil_->glRenderbuffer() : 0);
    glViewport(static_cast<GLint>(viewport_.X), static_cast<GLint>(viewport_.Y), static_cast<GLsizei>(viewport_.Width),
               static_cast<GLsizei>(viewport_.Height));
    glDepthRange(viewport_.MinZ, viewport_.MaxZ);
}

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_) return D3DERR_INVALIDCALL;
    if (count > 0 && !rects) return D3DERR_INVALIDCALL;
    MakeCurrent();
    ApplyRenderTarget();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColourToFloats(colour, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(stencil));
        glStencilMask(0xFF);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    glEnable(GL_SCISSOR_TEST);
    // Clears never leave the viewport.
    const LONG vx0 = static_cast<LONG>(viewport_.X), vy0 = static_cast<LONG>(viewport_.Y);
    const LONG vx1 = vx0 + static_cast<LONG>(viewport_.Width), vy1 = vy0 + static_cast<LONG>(viewport_.Height);
    if (count == 0) {
        glScissor(vx0, vy0, vx1 - vx0, vy1 - vy0);
        glClear(mask);
    } else {
        for (DWORD i = 0; i < count; ++i) {
            const LONG x0 = std::max(rects[i].x1, vx0), y0 = std::max(rects[i].y1, vy0);
            const LONG x1 = std::min(rects[i].x2, vx1), y1 = std::min(rects[i].y2, vy1);
            if (x1 <= x0 || y1 <= y0) continue;
            glScissor(x0, y0, x1 - x0, y1 - y0);
            glClear(mask);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    fixedDirty_ = true;  // masks were changed
    return D3D_OK;
}

// ---------------------------------------------------------------- state

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    if (!m) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (s == static_cast<DWORD>(D3DTS_WORLD)) world_ = *m;
    else if (s == D3DTS_VIEW) view_ = *m;
    else if (s == D3DTS_PROJECTION) projection_ = *m;
    else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) { textureMatrix_[s - D3DTS_TEXTURE0] = *m; return D3D_OK; }
    else if (s > 256 && s < 512) return D3D_OK;  // extra world matrices: no vertex blending
    else return D3DERR_INVALIDCALL;
    ++transformSerial_;
    if (s == D3DTS_VIEW) ++lightSerial_;  // light directions are sent in view space
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
    if (!m) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (s == static_cast<DWORD>(D3DTS_WORLD)) *m = world_;
    else if (s == D3DTS_VIEW) *m = view_;
    else if (s == D3DTS_PROJECTION) *m = projection_;
    else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) *m = textureMatrix_[s - D3DTS_TEXTURE0];
    else if (s > 256 && s < 512) *m = Identity();
    else return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    if (!m) return D3DERR_INVALIDCALL;
    D3DMATRIX current;
    if (FAILED(GetTransform(state, &current))) return D3DERR_INVALIDCALL;
    const D3DMATRIX r = Multiply(*m, current);
    return SetTransform(state, &r);
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* vp) {
    if (!vp || vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > renderTarget_->width() ||
        vp->Y + vp->Height > renderTarget_->height() || vp->MinZ < 0.f || vp->MaxZ > 1.f || vp->MinZ > vp->MaxZ)
        return D3DERR_INVALIDCALL;
    viewport_ = *vp;
    ++viewportSerial_;
    targetDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* vp) {
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = viewport_;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* m) {
    if (!m) return D3DERR_INVALIDCALL;
    material_ = *m;
    ++lightSerial_;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* m) {
    if (!m) return D3DERR_INVALIDCALL;
    *m = material_;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
    if (!light || index >= kMaxLights) return D3DERR_INVALIDCALL;
    lights_[index] = *light;
    ++lightSerial_;
    keyDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
    if (!light || index >= kMaxLights) return D3DERR_INVALIDCALL;
    *light = lights_[index];
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (index >= kMaxLights) return D3DERR_INVALIDCALL;
    if (lightEnabled_[index] != (enable != FALSE)) {
        lightEnabled_[index] = enable != FALSE;
        ++lightSerial_;
        keyDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable || index >= kMaxLights) return D3DERR_INVALIDCALL;
    *enable = lightEnabled_[index] ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const auto s = static_cast<DWORD>(state);
    if (s >= rs_.size()) return D3DERR_INVALIDCALL;
    if (rs_[s] == value) return D3D_OK;
    rs_[s] = value;
    switch (s) {
        case D3DRS_LIGHTING: case D3DRS_NORMALIZENORMALS: case D3DRS_SHADEMODE: case D3DRS_ALPHATESTENABLE:
        case D3DRS_COLORVERTEX: case D3DRS_DIFFUSEMATERIALSOURCE: case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE: case D3DRS_FOGENABLE: case D3DRS_FOGTABLEMODE: case D3DRS_FOGVERTEXMODE:
            keyDirty_ = true;
            break;
        case D3DRS_ALPHAFUNC: keyDirty_ = true; break;
        case D3DRS_AMBIENT: ++lightSerial_; break;
        case D3DRS_TEXTUREFACTOR: case D3DRS_ALPHAREF: case D3DRS_FOGCOLOR: case D3DRS_FOGSTART: case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY:
            ++miscSerial_;
            break;
        default: fixedDirty_ = true; break;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    const auto s = static_cast<DWORD>(state);
    if (!value || s >= rs_.size()) return D3DERR_INVALIDCALL;
    *value = rs_[s];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** pp) {
    if (!pp || stage >= kMaxStages) return D3DERR_INVALIDCALL;
    Texture* t = textures_[stage];
    if (!t) {
        *pp = nullptr;
        return D3D_OK;
    }
    t->AddRef();
    *pp = t->cube_ ? static_cast<IDirect3DBaseTexture8*>(t->cubeFacade_) : static_cast<IDirect3DTexture8*>(t);
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* iface) {
    if (stage >= 8) return D3DERR_INVALIDCALL;
    if (stage >= kMaxStages) return iface ? D3DERR_INVALIDCALL : D3D_OK;
    Texture* t = nullptr;
    if (iface) {
        if (iface->GetType() == D3DRTYPE_CUBETEXTURE) t = static_cast<CubeTexture*>(static_cast<IDirect3DCubeTexture8*>(iface))->texture();
        else if (iface->GetType() == D3DRTYPE_TEXTURE) t = static_cast<Texture*>(static_cast<IDirect3DTexture8*>(iface));
        else return D3DERR_INVALIDCALL;
    }
    if (t == textures_[stage]) return D3D_OK;
    const bool typeChanged = !t || !textures_[stage] || t->cube_ != textures_[stage]->cube_;
    if (t) t->Bind();
    if (textures_[stage]) textures_[stage]->Unbind();
    textures_[stage] = t;
    textureDirty_[stage] = true;
    if (typeChanged) keyDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= kMaxStages || static_cast<DWORD>(type) >= 32) return D3DERR_INVALIDCALL;
    *value = tss_[stage][type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (static_cast<DWORD>(type) >= 32 || stage >= 8) return D3DERR_INVALIDCALL;
    if (stage >= kMaxStages) return D3D_OK;  // beyond what we report in the caps: ignored
    if (tss_[stage][type] == value) return D3D_OK;
    tss_[stage][type] = value;
    switch (type) {
        case D3DTSS_ADDRESSU: case D3DTSS_ADDRESSV: case D3DTSS_ADDRESSW: case D3DTSS_MAGFILTER: case D3DTSS_MINFILTER:
        case D3DTSS_MIPFILTER: case D3DTSS_BORDERCOLOR: case D3DTSS_MAXMIPLEVEL: case D3DTSS_MIPMAPLODBIAS:
            samplerDirty_[stage] = true;
            break;
        default: keyDirty_ = true; break;
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes) {
    if (passes) *passes = 1;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD handle) {
    // Only flexible vertex formats: there are no programmable shaders to select.
    if (handle & ~0xFFFFFu) return D3DERR_INVALIDCALL;
    if (!DecodeFvf(handle).valid) return D3DERR_INVALIDCALL;
    if (handle != fvf_) {
        fvf_ = handle;
        keyDirty_ = true;
        boundFvf_ = ~0u;
    }
    return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* handle) {
    if (!handle) return D3DERR_INVALIDCALL;
    *handle = fvf_;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* iface, UINT stride) {
    if (stream != 0) return iface ? D3DERR_INVALIDCALL : D3D_OK;
    auto* vb = static_cast<VertexBuffer*>(iface);
    if (vb != stream_) {
        if (vb) vb->Bind();
        if (stream_) stream_->Unbind();
        stream_ = vb;
    }
    streamStride_ = stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer8** pp, UINT* stride) {
    if (!pp || !stride || stream != 0) return D3DERR_INVALIDCALL;
    *pp = stream_;
    if (stream_) stream_->AddRef();
    *stride = streamStride_;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* iface, UINT baseVertex) {
    auto* ib = static_cast<IndexBuffer*>(iface);
    if (ib != indices_) {
        if (ib) ib->Bind();
        if (indices_) indices_->Unbind();
        indices_ = ib;
    }
    baseVertex_ = baseVertex;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer8** pp, UINT* baseVertex) {
    if (!pp || !baseVertex) return D3DERR_INVALIDCALL;
    *pp = indices_;
    if (indices_) indices_->AddRef();
    *baseVertex = baseVertex_;
    return D3D_OK;
}

// ---------------------------------------------------------------- programs

Program Device::BuildProgram(const ProgramKey& key) {
    const std::uint32_t v = key.vertex;
    const int texCount = static_cast<int>((v >> kVTexShift) & 7);
    const int lights = static_cast<int>((v >> kVLightShift) & 7);
    const unsigned fogMode = (v >> kVFogShift) & 3;
    const bool flat = (v & kVFlat) != 0;
    const std::string interp = flat ? "flat " : "";
    std::string vs = "#version 330 core\n";
    vs += "in vec4 a_pos;\nin vec3 a_normal;\nin vec4 a_diffuse;\n";
    for (int i = 0; i < kMaxStages; ++i) vs += "in vec4 a_tex" + std::to_string(i) + ";\n";
    vs += "uniform mat4 u_wvp;\nuniform mat4 u_wv;\nuniform mat3 u_normalMat;\nuniform vec4 u_viewport;\n"
          "uniform vec2 u_pixelOffset;\nuniform vec4 u_matDiffuse;\nuniform vec4 u_matAmbient;\n"
          "uniform vec4 u_matEmissive;\nuniform vec4 u_ambient;\nuniform vec4 u_fogParams;\n";
    if (lights > 0)
        vs += "uniform vec3 u_lightDir[" + std::to_string(lights) + "];\nuniform vec4 u_lightDiffuse[" +
              std::to_string(lights) + "];\nuniform vec4 u_lightAmbient[" + std::to_string(lights) + "];\n";
    vs += interp + "out vec4 v_color;\nout vec2 v_tex[" + std::to_string(kMaxStages) + "];\nout float v_fog;\n";
    vs += "void main() {\n";
    vs += "    vec4 vdiffuse = " + std::string((v & kVDiffuse) ? "a_diffuse" : "vec4(1.0)") + ";\n";
    if (v & kVRhw) {
        // Pre-transformed: pixel coordinates of the render target, pixel centres at integers.
        vs += "    float w = a_pos.w != 0.0 ? 1.0 / a_pos.w : 1.0;\n"
              "    vec2 ndc = ((a_pos.xy + 0.5) - u_viewport.xy) / u_viewport.zw * 2.0 - 1.0;\n"
              "    gl_Position = vec4(ndc * w, (a_pos.z * 2.0 - 1.0) * w, w);\n"
              "    v_color = vdiffuse;\n    v_fog = 1.0;\n";
    } else {
        vs += "    vec4 p = u_wvp * vec4(a_pos.xyz, 1.0);\n"
              "    p.y = -p.y;\n"  // our framebuffers keep row 0 at the top, as Direct3D does
              "    p.z = p.z * 2.0 - p.w;\n"
              "    p.xy += u_pixelOffset * p.w;\n"
              "    gl_Position = p;\n";
        if (v & kVLighting) {
            vs += "    vec4 dm = " + std::string((v & kVDiffuseFromVertex) ? "vdiffuse" : "u_matDiffuse") + ";\n";
            vs += "    vec4 am = " + std::string((v & kVAmbientFromVertex) ? "vdiffuse" : "u_matAmbient") + ";\n";
            vs += "    vec4 em = " + std::string((v & kVEmissiveFromVertex) ? "vdiffuse" : "u_matEmissive") + ";\n";
            vs += std::string("    vec3 n = ") + ((v & kVNormal) ? "u_normalMat * a_normal" : "vec3(0.0)") + ";\n";
            if (v & kVNormalize) vs += "    if (dot(n, n) > 0.0) n = normalize(n);\n";
            vs += "    vec3 amb = u_ambient.rgb;\n    vec3 dif = vec3(0.0);\n";
            if (lights > 0)
                vs += "    for (int i = 0; i < " + std::to_string(lights) +
                      "; ++i) {\n        amb += u_lightAmbient[i].rgb;\n"
                      "        dif += u_lightDiffuse[i].rgb * max(dot(n, u_lightDir[i]), 0.0);\n    }\n";
            vs += "    v_color = clamp(vec4(em.rgb + am.rgb * amb + dm.rgb * dif, dm.a), 0.0, 1.0);\n";
        } else {
            vs += "    v_color = vdiffuse;\n";
        }
        if (fogMode != 0) {
            vs += "    float z = abs((u_wv * vec4(a_pos.xyz, 1.0)).z);\n";
            if (fogMode == D3DFOG_LINEAR) vs += "    v_fog = clamp((u_fogParams.y - z) * u_fogParams.z, 0.0, 1.0);\n";
            else if (fogMode == D3DFOG_EXP) vs += "    v_fog = clamp(exp(-u_fogParams.w * z), 0.0, 1.0);\n";
            else vs += "    v_fog = clamp(exp(-(u_fogParams.w * z) * (u_fogParams.w * z)), 0.0, 1.0);\n";
        } else {
            vs += "    v_fog = 1.0;\n";
        }
    }
    for (int i = 0; i < kMaxStages; ++i)
        vs += "    v_tex[" + std::to_string(i) + "] = " + (i < texCount ? "a_tex" + std::to_string(i) + ".xy" : "vec2(0.0)") + ";\n";
    vs += "}\n";

    std::string fs = "#version 330 core\n";
    fs += interp + "in vec4 v_color;\nin vec2 v_tex[" + std::to_string(kMaxStages) + "];\nin float v_fog;\n";
    fs += "uniform vec4 u_tfactor;\nuniform float u_alphaRef;\nuniform vec4 u_fogColor;\nout vec4 o_color;\n";
    int stages = 0;
    for (; stages < kMaxStages; ++stages)
        if (UnpackStage(key.stage[stages]).colorOp == D3DTOP_DISABLE || UnpackStage(key.stage[stages]).colorOp == 0) break;
    for (int s = 0; s < stages; ++s) {
        const StageFields f = UnpackStage(key.stage[s]);
        if (f.texType == 1) fs += "uniform sampler2D u_tex" + std::to_string(s) + ";\n";
        if (f.texType == 2) fs += "uniform samplerCube u_tex" + std::to_string(s) + ";\n";
    }
    fs += "void main() {\n    vec4 diffuse = v_color;\n    vec4 current = diffuse;\n    vec4 temp = vec4(0.0);\n";
    for (int s = 0; s < stages; ++s) {
        const StageFields f = UnpackStage(key.stage[s]);
        const std::string n = std::to_string(s);
        const std::string uv = "v_tex[" + std::to_string(std::min<unsigned>(f.texCoord, kMaxStages - 1)) + "]";
        if (f.texType == 1) fs += "    vec4 tex" + n + " = texture(u_tex" + n + ", " + uv + ");\n";
        else if (f.texType == 2) fs += "    vec4 tex" + n + " = texture(u_tex" + n + ", vec3(" + uv + ", 1.0));\n";
        else fs += "    vec4 tex" + n + " = vec4(1.0);\n";  // no texture bound: the stage sees white
        const std::string c = OpExpr(f.colorOp, ArgExpr(f.colorArg1, s, false), ArgExpr(f.colorArg2, s, false), ".rgb", s);
        std::string a = "current.a";
        if (f.alphaOp != D3DTOP_DISABLE && f.alphaOp != 0)
            a = OpExpr(f.alphaOp, ArgExpr(f.alphaArg1, s, true), ArgExpr(f.alphaArg2, s, true), ".a", s);
        fs += "    current = clamp(vec4(" + c + ", " + a + "), 0.0, 1.0);\n";
    }
    if (key.fragment & kFFog) fs += "    current.rgb = mix(u_fogColor.rgb, current.rgb, v_fog);\n";
    const unsigned alphaFunc = (key.fragment >> kFAlphaTestShift) & 15;
    if (alphaFunc != 0 && alphaFunc != D3DCMP_ALWAYS) {
        // Compared in 8-bit steps as the hardware does, so a reference of 50 passes alpha 50/255.
        fs += "    float a8 = floor(current.a * 255.0 + 0.5);\n";
        fs += std::string("    if (!(a8 ") + kCompareGlsl[alphaFunc] + " u_alphaRef)) discard;\n";
    }
    fs += "    o_color = current;\n}\n";

    Program p;
    p.id = Link(vs, fs);
    if (!p.id) return p;
    glUseProgram(p.id);
    auto loc = [&](const char* name) { return glGetUniformLocation(p.id, name); };
    p.wvp = loc("u_wvp");
    p.wv = loc("u_wv");
    p.normalMat = loc("u_normalMat");
    p.viewport = loc("u_viewport");
    p.pixelOffset = loc("u_pixelOffset");
    p.matDiffuse = loc("u_matDiffuse");
    p.matAmbient = loc("u_matAmbient");
    p.matEmissive = loc("u_matEmissive");
    p.ambient = loc("u_ambient");
    p.lightDir = loc("u_lightDir");
    p.lightDiffuse = loc("u_lightDiffuse");
    p.lightAmbient = loc("u_lightAmbient");
    p.tfactor = loc("u_tfactor");
    p.alphaRef = loc("u_alphaRef");
    p.fogColor = loc("u_fogColor");
    p.fogParams = loc("u_fogParams");
    for (int s = 0; s < kMaxStages; ++s) {
        const GLint l = loc(("u_tex" + std::to_string(s)).c_str());
        if (l >= 0) glUniform1i(l, s);
    }
    return p;
}

Program* Device::SelectProgram() {
    if (!keyDirty_ && current_) return current_;
    keyDirty_ = false;
    const FvfLayout layout = DecodeFvf(fvf_);
    ProgramKey key;
    std::uint32_t v = 0;
    if (layout.rhw) v |= kVRhw;
    if (layout.normal) v |= kVNormal;
    if (layout.diffuse) v |= kVDiffuse;
    v |= static_cast<std::uint32_t>(std::min(layout.texCount, kMaxStages)) << kVTexShift;
    const bool flat = rs_[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    if (flat) v |= kVFlat;
    if (!layout.rhw && rs_[D3DRS_LIGHTING]) {
        v |= kVLighting;
        if (rs_[D3DRS_NORMALIZENORMALS]) v |= kVNormalize;
        const bool colourVertex = rs_[D3DRS_COLORVERTEX] && layout.diffuse;
        if (colourVertex && rs_[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1) v |= kVDiffuseFromVertex;
        if (colourVertex && rs_[D3DRS_AMBIENTMATERIALSOURCE] == D3DMCS_COLOR1) v |= kVAmbientFromVertex;
        if (colourVertex && rs_[D3DRS_EMISSIVEMATERIALSOURCE] == D3DMCS_COLOR1) v |= kVEmissiveFromVertex;
        int lights = 0;
        for (int i = 0; i < kMaxLights; ++i)
            if (lightEnabled_[i] && lights < kMaxShaderLights) ++lights;
        v |= static_cast<std::uint32_t>(lights) << kVLightShift;
    }
    std::uint32_t f = 0;
    if (rs_[D3DRS_FOGENABLE] && !layout.rhw) {
        DWORD mode = rs_[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs_[D3DRS_FOGTABLEMODE] : rs_[D3DRS_FOGVERTEXMODE];
        if (mode > D3DFOG_LINEAR) mode = D3DFOG_NONE;
        if (mode != D3DFOG_NONE) {
            v |= static_cast<std::uint32_t>(mode) << kVFogShift;
            f |= kFFog;
        }
    }
    if (rs_[D3DRS_ALPHATESTENABLE]) f |= std::min<DWORD>(rs_[D3DRS_ALPHAFUNC], 15) << kFAlphaTestShift;
    if (flat) f |= kFFlat;
    key.vertex = v;
    key.fragment = f;
    for (int s = 0; s < kMaxStages; ++s) {
        const auto& t = tss_[s];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE || t[D3DTSS_COLOROP] > D3DTOP_LERP) break;  // later stages are unused
        StageFields fields{t[D3DTSS_COLOROP], t[D3DTSS_COLORARG1] & 63, t[D3DTSS_COLORARG2] & 63,
                           std::min<DWORD>(t[D3DTSS_ALPHAOP], 31), t[D3DTSS_ALPHAARG1] & 63, t[D3DTSS_ALPHAARG2] & 63,
                           std::min<DWORD>(t[D3DTSS_TEXCOORDINDEX] & 0xFFFF, 7),
                           textures_[s] ? (textures_[s]->cube_ ? 2u : 1u) : 0u};
        key.stage[s] = PackStage(fields);
    }
    auto it = programs_.find(key);
    if (it == programs_.end()) it = programs_.emplace(key, BuildProgram(key)).first;
    Program* p = &it->second;
    if (p->id == 0) return nullptr;
    if (p != current_) {
        glUseProgram(p->id);
        current_ = p;
    }
    return p;
}

void Device::UploadUniforms(Program& p) {
    if (p.transformSerial != transformSerial_) {
        p.transformSerial = transformSerial_;
        const D3DMATRIX wv = Multiply(world_, view_);
        const D3DMATRIX wvp = Multiply(wv, projection_);
        // Row-vector matrices read column-major are their transposes: u_wvp * v equals v * M.
        glUniformMatrix4fv(p.wvp, 1, GL_FALSE, &wvp.m[0][0]);
        if (p.wv >= 0) glUniformMatrix4fv(p.wv, 1, GL_FALSE, &wv.m[0][0]);
        if (p.normalMat >= 0) {
            // Inverse transpose of the upper 3 x 3 of world * view, in the same transposed reading.
            const float a = wv._11, b = wv._12, c = wv._13, d = wv._21, e = wv._22, f = wv._23, g = wv._31, h = wv._32,
                        i = wv._33;
            const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
            float det = a * A + b * B + c * C;
            if (std::fabs(det) < 1e-20f) det = 1e-20f;
            const float inv = 1.0f / det;
            // cofactor matrix / det = inverse transpose (row-vector form); store so that
            // u_normalMat * n = n * (M^-1)^T.
            const float cof[9] = {A * inv, B * inv, C * inv,
                                  -(b * i - c * h) * inv, (a * i - c * g) * inv, -(a * h - b * g) * inv,
                                  (b * f - c * e) * inv, -(a * f - c * d) * inv, (a * e - b * d) * inv};
            // n' = n * N with N = (M^-1)^T = cofactor / det; column-major upload of N^T gives N^T * n = (n * N)^T.
            glUniformMatrix3fv(p.normalMat, 1, GL_TRUE, cof);
        }
    }
    if (p.viewportSerial != viewportSerial_) {
        p.viewportSerial = viewportSerial_;
        glUniform4f(p.viewport, static_cast<float>(viewport_.X), static_cast<float>(viewport_.Y),
                    static_cast<float>(viewport_.Width), static_cast<float>(viewport_.Height));
        glUniform2f(p.pixelOffset, 1.0f / static_cast<float>(viewport_.Width), 1.0f / static_cast<float>(viewport_.Height));
    }
    if (p.lightSerial != lightSerial_) {
        p.lightSerial = lightSerial_;
        glUniform4fv(p.matDiffuse, 1, &material_.Diffuse.r);
        glUniform4fv(p.matAmbient, 1, &material_.Ambient.r);
        glUniform4fv(p.matEmissive, 1, &material_.Emissive.r);
        float amb[4];
        ColourToFloats(rs_[D3DRS_AMBIENT], amb);
        glUniform4fv(p.ambient, 1, amb);
        if (p.lightDir >= 0) {
            float dirs[kMaxShaderLights * 3], diffuse[kMaxShaderLights * 4], ambient[kMaxShaderLights * 4];
            int n = 0;
            for (int i = 0; i < kMaxLights && n < kMaxShaderLights; ++i) {
                if (!lightEnabled_[i]) continue;
                const D3DLIGHT8& l = lights_[i];
                // Towards the light, in view space.
                const D3DVECTOR d = l.Direction;
                float x = -(d.x * view_._11 + d.y * view_._21 + d.z * view_._31);
                float y = -(d.x * view_._12 + d.y * view_._22 + d.z * view_._32);
                float z = -(d.x * view_._13 + d.y * view_._23 + d.z * view_._33);
                const float len = std::sqrt(x * x + y * y + z * z);
                if (len > 0) { x /= len; y /= len; z /= len; }
                dirs[n * 3] = x; dirs[n * 3 + 1] = y; dirs[n * 3 + 2] = z;
                std::memcpy(&diffuse[n * 4], &l.Diffuse.r, 16);
                std::memcpy(&ambient[n * 4], &l.Ambient.r, 16);
                ++n;
            }
            glUniform3fv(p.lightDir, n, dirs);
            glUniform4fv(p.lightDiffuse, n, diffuse);
            glUniform4fv(p.lightAmbient, n, ambient);
        }
    }
    if (p.miscSerial != miscSerial_) {
        p.miscSerial = miscSerial_;
        float c[4];
        ColourToFloats(rs_[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(p.tfactor, 1, c);
        glUniform1f(p.alphaRef, static_cast<float>(rs_[D3DRS_ALPHAREF] & 0xFF));
        ColourToFloats(rs_[D3DRS_FOGCOLOR], c);
        glUniform4fv(p.fogColor, 1, c);
        const float start = BitsFloat(rs_[D3DRS_FOGSTART]), end = BitsFloat(rs_[D3DRS_FOGEND]);
        glUniform4f(p.fogParams, start, end, end != start ? 1.0f / (end - start) : 0.0f, BitsFloat(rs_[D3DRS_FOGDENSITY]));
    }
}

void Device::ApplyFixedState() {
    if (!fixedDirty_) return;
    fixedDirty_ = false;
    if (rs_[D3DRS_ZENABLE] && depthStencil_) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(kCompareTable[std::min<DWORD>(rs_[D3DRS_ZFUNC], D3DCMP_ALWAYS)]);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(rs_[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (rs_[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        DWORD src = std::min<DWORD>(rs_[D3DRS_SRCBLEND], D3DBLEND_BOTHINVSRCALPHA);
        DWORD dst = std::min<DWORD>(rs_[D3DRS_DESTBLEND], D3DBLEND_BOTHINVSRCALPHA);
        GLenum glSrc = kBlendTable[src], glDst = kBlendTable[dst];
        if (src == D3DBLEND_BOTHSRCALPHA) { glSrc = GL_SRC_ALPHA; glDst = GL_ONE_MINUS_SRC_ALPHA; }
        if (src == D3DBLEND_BOTHINVSRCALPHA) { glSrc = GL_ONE_MINUS_SRC_ALPHA; glDst = GL_SRC_ALPHA; }
        glBlendFunc(glSrc, glDst);
        glBlendEquation(kBlendOpTable[std::min<DWORD>(rs_[D3DRS_BLENDOP], D3DBLENDOP_MAX)]);
    } else {
        glDisable(GL_BLEND);
    }
    // Direct3D's counter-clockwise is on screen with y down; our framebuffer rows run the same way,
    // so on-screen CCW is GL's clockwise.
    switch (rs_[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glFrontFace(GL_CCW); glCullFace(GL_FRONT); break;
        default: glEnable(GL_CULL_FACE); glFrontFace(GL_CCW); glCullFace(GL_BACK); break;
    }
    if (rs_[D3DRS_STENCILENABLE] && depthStencil_) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(kCompareTable[std::min<DWORD>(rs_[D3DRS_STENCILFUNC], D3DCMP_ALWAYS)],
                      static_cast<GLint>(rs_[D3DRS_STENCILREF]), rs_[D3DRS_STENCILMASK]);
        glStencilOp(kStencilOpTable[std::min<DWORD>(rs_[D3DRS_STENCILFAIL], D3DSTENCILOP_DECR)],
                    kStencilOpTable[std::min<DWORD>(rs_[D3DRS_STENCILZFAIL], D3DSTENCILOP_DECR)],
                    kStencilOpTable[std::min<DWORD>(rs_[D3DRS_STENCILPASS], D3DSTENCILOP_DECR)]);
        glStencilMask(rs_[D3DRS_STENCILWRITEMASK]);
    } else {
        glDisable(GL_STENCIL_TEST);
    }
    const DWORD cw = rs_[D3DRS_COLORWRITEENABLE];
    glColorMask(cw & 1 ? GL_TRUE : GL_FALSE, cw & 2 ? GL_TRUE : GL_FALSE, cw & 4 ? GL_TRUE : GL_FALSE,
                cw & 8 ? GL_TRUE : GL_FALSE);
    glPolygonMode(GL_FRONT_AND_BACK, rs_[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                     : rs_[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                              : GL_FILL);
    if (rs_[D3DRS_DITHERENABLE]) glEnable(GL_DITHER);
    else glDisable(GL_DITHER);
}

void Device::ApplySamplers() {
    for (int s = 0; s < kMaxStages; ++s) {
        if (textureDirty_[s]) {
            textureDirty_[s] = false;
            glActiveTexture(GL_TEXTURE0 + s);
            Texture* t = textures_[s];
            if (t) glBindTexture(t->storage().target, t->storage().texture);
            else {
                glBindTexture(GL_TEXTURE_2D, 0);
                glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
            }
        }
        if (!samplerDirty_[s]) continue;
        samplerDirty_[s] = false;
        const auto& t = tss_[s];
        const GLuint sm = samplers_[s];
        const bool minLinear = t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
        GLenum minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        if (t[D3DTSS_MIPFILTER] == D3DTEXF_POINT) minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (t[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR) minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        glSamplerParameteri(sm, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
        glSamplerParameteri(sm, GL_TEXTURE_MAG_FILTER, t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(sm, GL_TEXTURE_WRAP_S, static_cast<GLint>(kAddressTable[std::min<DWORD>(t[D3DTSS_ADDRESSU], D3DTADDRESS_MIRRORONCE)]));
        glSamplerParameteri(sm, GL_TEXTURE_WRAP_T, static_cast<GLint>(kAddressTable[std::min<DWORD>(t[D3DTSS_ADDRESSV], D3DTADDRESS_MIRRORONCE)]));
        glSamplerParameteri(sm, GL_TEXTURE_WRAP_R, static_cast<GLint>(kAddressTable[std::min<DWORD>(t[D3DTSS_ADDRESSW], D3DTADDRESS_MIRRORONCE)]));
        float border[4];
        ColourToFloats(t[D3DTSS_BORDERCOLOR], border);
        glSamplerParameterfv(sm, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(sm, GL_TEXTURE_MIN_LOD, static_cast<float>(t[D3DTSS_MAXMIPLEVEL]));
        glSamplerParameterf(sm, GL_TEXTURE_LOD_BIAS, BitsFloat(t[D3DTSS_MIPMAPLODBIAS]));
    }
}

bool Device::PrepareDraw(GLuint vbo, UINT stride, std::size_t baseOffset) {
    MakeCurrent();
    ApplyRenderTarget();
    ApplyFixedState();
    ApplySamplers();
    Program* p = SelectProgram();
    if (!p) return false;
    UploadUniforms(*p);
    if (vbo != boundVbo_ || stride != boundStride_ || fvf_ != boundFvf_ || baseOffset != boundOffset_) {
        boundVbo_ = vbo;
        boundStride_ = stride;
        boundFvf_ = fvf_;
        boundOffset_ = baseOffset;
        const FvfLayout l = DecodeFvf(fvf_);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        auto at = [&](int offset) { return reinterpret_cast<const void*>(baseOffset + static_cast<std::size_t>(offset)); };
        const GLsizei st = static_cast<GLsizei>(stride);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, l.positionFloats, GL_FLOAT, GL_FALSE, st, at(0));
        if (l.normal) {
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, st, at(l.normalOffset));
        } else {
            glDisableVertexAttribArray(1);
        }
        if (l.diffuse) {
            glEnableVertexAttribArray(2);
            // D3DCOLOR is B, G, R, A in memory.
            glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, st, at(l.diffuseOffset));
        } else {
            glDisableVertexAttribArray(2);
        }
        for (int i = 0; i < kMaxStages; ++i) {
            if (i < l.texCount) {
                glEnableVertexAttribArray(4 + i);
                glVertexAttribPointer(4 + i, l.texSize[i], GL_FLOAT, GL_FALSE, st, at(l.texOffset[i]));
            } else {
                glDisableVertexAttribArray(4 + i);
            }
        }
    }
    return true;
}

HRESULT Device::CheckDraw() const {
    if (!DecodeFvf(fvf_).valid) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN || !stream_ || FAILED(CheckDraw())) return D3DERR_INVALIDCALL;
    const UINT stride = streamStride_ ? streamStride_ : static_cast<UINT>(DecodeFvf(fvf_).size);
    const UINT vertices = VertexCount(type, count);
    if (count == 0) return D3D_OK;
    D3DVERTEXBUFFER_DESC desc;
    stream_->GetDesc(&desc);
    if (static_cast<std::uint64_t>(start) + vertices > desc.Size / std::max<UINT>(stride, 1)) return D3DERR_INVALIDCALL;
    if (!PrepareDraw(stream_->glBuffer(), stride, 0)) return D3DERR_INVALIDCALL;
    glDrawArrays(kPrimitiveTable[type], static_cast<GLint>(start), static_cast<GLsizei>(vertices));
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT count) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN || !stream_ || !indices_ || FAILED(CheckDraw()))
        return D3DERR_INVALIDCALL;
    if (count == 0) return D3D_OK;
    const UINT stride = streamStride_ ? streamStride_ : static_cast<UINT>(DecodeFvf(fvf_).size);
    const UINT n = VertexCount(type, count);
    const bool wide = indices_->format() == D3DFMT_INDEX32;
    const UINT indexSize = wide ? 4 : 2;
    D3DINDEXBUFFER_DESC desc;
    indices_->GetDesc(&desc);
    if ((static_cast<std::uint64_t>(startIndex) + n) * indexSize > desc.Size) return D3DERR_INVALIDCALL;
    // The vertex range the caller declares must lie inside the stream.
    D3DVERTEXBUFFER_DESC vdesc;
    stream_->GetDesc(&vdesc);
    if ((static_cast<std::uint64_t>(baseVertex_) + minIndex + numVertices) * stride > vdesc.Size) return D3DERR_INVALIDCALL;
    if (!PrepareDraw(stream_->glBuffer(), stride, 0)) return D3DERR_INVALIDCALL;
    if (boundIbo_ != indices_->glBuffer()) {
        boundIbo_ = indices_->glBuffer();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, boundIbo_);
    }
    glDrawElementsBaseVertex(kPrimitiveTable[type], static_cast<GLsizei>(n), wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<std::size_t>(startIndex) * indexSize),
                             static_cast<GLint>(baseVertex_));
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN || !data || stride == 0 || FAILED(CheckDraw()))
        return D3DERR_INVALIDCALL;
    if (count == 0) return D3D_OK;
    const std::size_t bytes = static_cast<std::size_t>(VertexCount(type, count)) * stride;
    MakeCurrent();
    glBindBuffer(GL_ARRAY_BUFFER, upVbo_);
    if (bytes > upVboSize_) {
        upVboSize_ = std::max<std::size_t>(bytes, 64 * 1024);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(upVboSize_), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), data);
    if (!PrepareDraw(upVbo_, stride, 0)) return D3DERR_INVALIDCALL;
    glDrawArrays(kPrimitiveTable[type], 0, static_cast<GLsizei>(VertexCount(type, count)));
    // Direct3D unbinds stream 0 after a user-pointer draw.
    SetStreamSource(0, nullptr, 0);
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indexData, D3DFORMAT indexFormat, const void* data, UINT stride) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN || !data || !indexData || stride == 0 || FAILED(CheckDraw()) ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (count == 0) return D3D_OK;
    const UINT n = VertexCount(type, count);
    const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const std::size_t vbytes = static_cast<std::size_t>(minIndex + numVertices) * stride;
    const std::size_t ibytes = static_cast<std::size_t>(n) * indexSize;
    MakeCurrent();
    glBindBuffer(GL_ARRAY_BUFFER, upVbo_);
    if (vbytes > upVboSize_) {
        upVboSize_ = std::max<std::size_t>(vbytes, 64 * 1024);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(upVboSize_), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(vbytes), data);
    if (!PrepareDraw(upVbo_, stride, 0)) return D3DERR_INVALIDCALL;
    boundIbo_ = upIbo_;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIbo_);
    if (ibytes > upIboSize_) {
        upIboSize_ = std::max<std::size_t>(ibytes, 16 * 1024);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(upIboSize_), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(ibytes), indexData);
    glDrawElements(kPrimitiveTable[type], static_cast<GLsizei>(n), indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
    SetStreamSource(0, nullptr, 0);
    SetIndices(nullptr, 0);
    return D3D_OK;
}

}  // namespace gl
