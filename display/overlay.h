// The clock and frame-rate overlay: a digital clock (bottom right) and the frame rate (top left)
// drawn on top of the scene from 15 glyph images of the digits archive. Each glyph is a screen
// quad drawn twice: a darkening pass 7 % larger (the dark rim), then an additive pass in the clock
// colour. The layout is a pure function of the time text, the frame rate and the layout values,
// so it can be checked without a device.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "display/display_host.h"
#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "media/resource_blob.h"
#include "platform/d3d8/d3d8.h"

namespace display {

inline constexpr int kGlyphCount = 15;
inline constexpr int kGlyphColon = 10;
inline constexpr int kGlyphDot = 11;
inline constexpr int kGlyphA = 12;
inline constexpr int kGlyphM = 13;
inline constexpr int kGlyphP = 14;

// File names inside the digits archive's "Digits\" folder, by glyph index.
extern const char* const kGlyphFiles[kGlyphCount];
inline constexpr std::string_view kGlyphFolder = "Digits\\";
// The fixed password the digits archive is opened with (its entries are stored unencrypted).
inline constexpr std::string_view kDigitsPassword = "gr1mh0lt9";

// Glyph size, step and origins as fractions of the viewport, and the clock colour.
struct OverlayLayout {
    float GlyphHeight;
    float GlyphWidth;
    float AdvanceFactor;  // character step = GlyphWidth * AdvanceFactor
    float ClockX, ClockY;
    float FrameRateX, FrameRateY;
    unsigned char Red, Green, Blue;
};

// The base saver's values and the battle saver's own.
inline constexpr OverlayLayout kSaverOverlayLayout{0.048f, 0.037f, 1.0f, 0.7f, 0.92f, 0.01f, 0.01f, 255, 255, 255};
inline constexpr OverlayLayout kBattleOverlayLayout{0.07875f, 0.0525f, 0.6f, 0.7275f, 0.92f, 0.01f, 0.01f, 255, 255, 255};

// The glyph textures; index -1 draws untextured.
struct GlyphSet {
    TextureHandle Glyphs[kGlyphCount];
};

// One glyph at a place (top-left corner, viewport fractions).
struct GlyphPlace {
    int Glyph;
    float X, Y;
    bool operator==(const GlyphPlace&) const = default;
};

// The clock's glyphs for an eight-character "HH:MM:SS" text. 24-hour: the eight characters at the
// clock origin. 12-hour: the origin moves two steps left, the hour becomes 12, 1..11 (a tens digit
// 0 leaves its place empty), and A or P then M follow at places 8 and 9. A text shorter than eight
// characters, or with hours that are not two digits, gives no glyphs.
std::vector<GlyphPlace> ClockGlyphs(std::string_view timeText, bool twentyFourHour,
                                    const OverlayLayout& layout);

// The frame rate's glyphs: its decimal text from the frame-rate origin; a character below '0'
// (the minus sign) uses the dot glyph.
std::vector<GlyphPlace> FrameRateGlyphs(int framesPerSecond, const OverlayLayout& layout);

// "HH:MM:SS" (hours 00-23) of the local time at `time`.
std::string LocalTimeText(std::time_t time);

// Extracts the fifteen glyphs from the digits archive and loads them through the texture table
// (group "Digits\", reused by name); a glyph that cannot be extracted keeps index -1. Logs
// "Load Digit textures complete".
void LoadGlyphs(GlyphSet& glyphs, media::ResourceBlob digitsArchive, TextureTable& textures,
                DisplayHost& host);

// What one frame's overlay shows.
struct OverlayFrame {
    bool ShowTime = true;
    bool TwentyFourHour = false;
    bool ShowFrameRate = false;
    int FramesPerSecond = 0;
    std::string_view TimeText;  // "HH:MM:SS"
};

// Draws the overlay inside the scene: z off, blending on, no texture, alpha reference 0, the quad
// selected; the clock and frame rate as switched on; then z on and blending off again (also when
// nothing is shown).
void DrawOverlay(IDirect3DDevice8* device, const OverlayFrame& frame, const OverlayLayout& layout,
                 const GlyphSet& glyphs, int quadHandle, VertexBufferPool& pool,
                 TextureTable& textures);

}  // namespace display
