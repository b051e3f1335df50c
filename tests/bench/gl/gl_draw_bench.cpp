// Draw-call overhead of our Direct3D 8 layer against the same work in plain OpenGL, both headless
// on the same machine and driver: a small textured indexed mesh drawn with its own world matrix
// each time. The figure is draws per second; the layer's goal is at most 1.5x plain GL per draw.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "platform/d3d8/d3d8.h"
#include "platform/gl/gl_context.h"
#include "platform/gl/gl_window_system.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

namespace {

constexpr int kFlushEvery = 1000;  // both peers wait for the GPU this often

struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
    float u, v;
};
const Vertex kMesh[4] = {{-0.01f, -0.01f, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 1},
                         {-0.01f, 0.01f, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0},
                         {0.01f, 0.01f, 0.5f, 0, 0, -1, 0xFFFFFFFF, 1, 0},
                         {0.01f, -0.01f, 0.5f, 0, 0, -1, 0xFFFFFFFF, 1, 1}};
const WORD kIndices[6] = {0, 1, 2, 0, 2, 3};

void BM_Direct3D8Layer(benchmark::State& state) {
    gl::UseHeadlessWindowSystem({});
    if (!gl::HeadlessContextAvailable()) {
        state.SkipWithError("no EGL surfaceless context");
        return;
    }
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 256;
    pp.BackBufferHeight = 256;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    IDirect3DDevice8* device = nullptr;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    IDirect3DTexture8* tex = nullptr;
    device->CreateVertexBuffer(sizeof(kMesh), D3DUSAGE_WRITEONLY, 0x152, D3DPOOL_MANAGED, &vb);
    device->CreateIndexBuffer(sizeof(kIndices), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib);
    device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex);
    BYTE* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, kMesh, sizeof(kMesh));
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    std::memcpy(p, kIndices, sizeof(kIndices));
    ib->Unlock();
    D3DLOCKED_RECT lr{};
    tex->LockRect(0, &lr, nullptr, 0);
    std::memset(lr.pBits, 0xFF, 8 * 8 * 4);
    tex->UnlockRect(0);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetVertexShader(0x152);
    device->SetStreamSource(0, vb, sizeof(Vertex));
    device->SetIndices(ib, 0);
    device->SetTexture(0, tex);
    device->BeginScene();
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1;
    long n = 0;
    for (auto _ : state) {
        world._41 = static_cast<float>(n % 100) * 0.01f - 0.5f;  // each mesh has its own matrix
        device->SetTransform(D3DTS_WORLD, &world);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2);
        if (++n % kFlushEvery == 0) glFinish();
    }
    glFinish();
    device->EndScene();
    state.counters["draws_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0);
    device->SetIndices(nullptr, 0);
    tex->Release();
    vb->Release();
    ib->Release();
    device->Release();
    d3d->Release();
}

GLuint Shader(GLenum type, const char* text) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    return s;
}

void BM_PlainGL(benchmark::State& state) {
    std::unique_ptr<gl::GlContext> context = gl::CreateHeadlessContext();
    if (!context) {
        state.SkipWithError("no EGL surfaceless context");
        return;
    }
    GLuint fbo, colour, depth, vao, vbo, ibo, tex;
    glGenFramebuffers(1, &fbo);
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, 256, 256);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    glViewport(0, 0, 256, 256);
    glEnable(GL_DEPTH_TEST);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kMesh), kMesh, GL_STATIC_DRAW);
    glGenBuffers(1, &ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kIndices), kIndices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(24));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(28));
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    std::uint32_t white[64];
    std::memset(white, 0xFF, sizeof(white));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_BGRA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    GLuint prog = glCreateProgram();
    glAttachShader(prog, Shader(GL_VERTEX_SHADER, "#version 330 core\n"
                                                  "layout(location=0) in vec3 p; layout(location=1) in vec4 c;"
                                                  "layout(location=2) in vec2 t; uniform mat4 m; out vec4 vc; out vec2 vt;"
                                                  "void main(){ gl_Position = m * vec4(p, 1.0); vc = c; vt = t; }"));
    glAttachShader(prog, Shader(GL_FRAGMENT_SHADER, "#version 330 core\n"
                                                    "in vec4 vc; in vec2 vt; uniform sampler2D s; out vec4 o;"
                                                    "void main(){ o = texture(s, vt) * vc; }"));
    glLinkProgram(prog);
    glUseProgram(prog);
    const GLint m = glGetUniformLocation(prog, "m");
    float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    long n = 0;
    for (auto _ : state) {
        world[12] = static_cast<float>(n % 100) * 0.01f - 0.5f;
        glUniformMatrix4fv(m, 1, GL_FALSE, world);
        glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);
        if (++n % kFlushEvery == 0) glFinish();
    }
    glFinish();
    state.counters["draws_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    glDeleteProgram(prog);
    GLuint buffers[] = {vbo, ibo};
    glDeleteBuffers(2, buffers);
    GLuint textures[] = {colour, tex};
    glDeleteTextures(2, textures);
    glDeleteRenderbuffers(1, &depth);
    glDeleteFramebuffers(1, &fbo);
    glDeleteVertexArrays(1, &vao);
}

BENCHMARK(BM_Direct3D8Layer)->MinTime(1.0);
BENCHMARK(BM_PlainGL)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
