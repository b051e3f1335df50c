// Direct3D 8 enumerations translated to OpenGL, and the texture formats we implement.
// Each table is indexed by the Direct3D value; its size is checked against the enumeration.
#pragma once

#include <cstdint>
#include <iterator>

#include "platform/d3d8/d3d8.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif

namespace gl {

inline constexpr GLenum kBlendTable[] = {
    GL_ONE,                  // (unused 0)
    GL_ZERO,                 // D3DBLEND_ZERO
    GL_ONE,                  // D3DBLEND_ONE
    GL_SRC_COLOR,            // D3DBLEND_SRCCOLOR
    GL_ONE_MINUS_SRC_COLOR,  // D3DBLEND_INVSRCCOLOR
    GL_SRC_ALPHA,            // D3DBLEND_SRCALPHA
    GL_ONE_MINUS_SRC_ALPHA,  // D3DBLEND_INVSRCALPHA
    GL_DST_ALPHA,            // D3DBLEND_DESTALPHA
    GL_ONE_MINUS_DST_ALPHA,  // D3DBLEND_INVDESTALPHA
    GL_DST_COLOR,            // D3DBLEND_DESTCOLOR
    GL_ONE_MINUS_DST_COLOR,  // D3DBLEND_INVDESTCOLOR
    GL_SRC_ALPHA_SATURATE,   // D3DBLEND_SRCALPHASAT
    GL_SRC_ALPHA,            // D3DBLEND_BOTHSRCALPHA (destination becomes INVSRCALPHA)
    GL_ONE_MINUS_SRC_ALPHA,  // D3DBLEND_BOTHINVSRCALPHA (destination becomes SRCALPHA)
};
static_assert(std::size(kBlendTable) == D3DBLEND_BOTHINVSRCALPHA + 1);

inline constexpr GLenum kBlendOpTable[] = {
    GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX,
};
static_assert(std::size(kBlendOpTable) == D3DBLENDOP_MAX + 1);

inline constexpr GLenum kCompareTable[] = {
    GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS,
};
static_assert(std::size(kCompareTable) == D3DCMP_ALWAYS + 1);

inline constexpr GLenum kStencilOpTable[] = {
    GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP,
};
static_assert(std::size(kStencilOpTable) == D3DSTENCILOP_DECR + 1);

// MIRRORONCE needs GL 4.4; mirrored repeat is the nearest 3.3 has.
inline constexpr GLenum kAddressTable[] = {
    GL_REPEAT, GL_REPEAT, GL_MIRRORED_REPEAT, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER, GL_MIRRORED_REPEAT,
};
static_assert(std::size(kAddressTable) == D3DTADDRESS_MIRRORONCE + 1);

// GLSL comparison for the alpha test, by D3DCMPFUNC.
inline constexpr const char* kCompareGlsl[] = {
    "true", "false", "<", "==", "<=", ">", "!=", ">=", "true",
};
static_assert(std::size(kCompareGlsl) == D3DCMP_ALWAYS + 1);

inline constexpr GLenum kPrimitiveTable[] = {
    GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN,
};
static_assert(std::size(kPrimitiveTable) == D3DPT_TRIANGLEFAN + 1);

struct FormatInfo {
    D3DFORMAT format;
    int bytesPerPixel;  // 0 for block-compressed formats
    int blockBytes;     // bytes per 4 x 4 block, compressed formats only
    GLenum internalFormat;
    GLenum pixelFormat;
    GLenum pixelType;
    GLint swizzle[4];
    bool renderTarget;
};

inline constexpr FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, 4, 0, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, true},
    {D3DFMT_X8R8G8B8, 4, 0, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true},
    {D3DFMT_R5G6B5, 2, 0, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, true},
    {D3DFMT_X1R5G5B5, 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}, false},
    {D3DFMT_A1R5G5B5, 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_A4R4G4B4, 2, 0, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_L8, 1, 0, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}, false},
    {D3DFMT_A8, 1, 0, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}, false},
    {D3DFMT_A8L8, 2, 0, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_GREEN}, false},
    {D3DFMT_DXT1, 0, 8, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_DXT2, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_DXT3, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_DXT4, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
    {D3DFMT_DXT5, 0, 16, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}, false},
};

inline const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& f : kFormats)
        if (f.format == format) return &f;
    return nullptr;
}

inline bool IsDepthFormat(D3DFORMAT f) {
    return f == D3DFMT_D16 || f == D3DFMT_D24X8 || f == D3DFMT_D24S8 || f == D3DFMT_D32 || f == D3DFMT_D16_LOCKABLE;
}

}  // namespace gl
