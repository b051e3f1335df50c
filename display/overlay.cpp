#include "display/overlay.h"

#include <cstdio>
#include <string>

#include "media/archive.h"

namespace display {

const char* const kGlyphFiles[kGlyphCount] = {
    "digit_0.JPG", "digit_1.JPG", "digit_2.JPG", "digit_3.JPG",    "digit_4.JPG",
    "digit_5.JPG", "digit_6.JPG", "digit_7.JPG", "digit_8.JPG",    "digit_9.JPG",
    "digit_ddot.JPG", "digit_dot.JPG", "digit_A.JPG", "digit_M.JPG", "digit_P.JPG",
};

namespace {

constexpr float kRimScale = 1.07f;
constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

float Step(const OverlayLayout& layout) { return layout.GlyphWidth * layout.AdvanceFactor; }

GlyphPlace At(int glyph, float originX, float originY, int place, float step) {
    return GlyphPlace{glyph, originX + static_cast<float>(place) * step, originY};
}

void DrawGlyph(IDirect3DDevice8* device, const GlyphPlace& place, const OverlayLayout& layout,
               const GlyphSet& glyphs, int quad, VertexBufferPool& pool, TextureTable& textures) {
    // A glyph outside the table (a character the text should not hold) draws untextured.
    const int index = place.Glyph >= 0 && place.Glyph < kGlyphCount ? glyphs.Glyphs[place.Glyph].Index : -1;
    textures.BindTexture(0, index);
    const float w = layout.GlyphWidth;
    const float h = layout.GlyphHeight;

    // Darken the background by the glyph's brightness, a little larger to the right and down.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
    pool.SetScreenQuad(quad, place.X, place.Y, kRimScale * w, kRimScale * h, kWhite, 0.0f, 0.0f, 1.0f, 1.0f);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);

    // Then add the glyph in the clock colour.
    const D3DCOLOR colour = 0xFF000000u | (static_cast<D3DCOLOR>(layout.Red) << 16) |
                            (static_cast<D3DCOLOR>(layout.Green) << 8) | static_cast<D3DCOLOR>(layout.Blue);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    pool.SetScreenQuad(quad, place.X, place.Y, w, h, colour, 0.0f, 0.0f, 1.0f, 1.0f);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

}  // namespace

std::vector<GlyphPlace> ClockGlyphs(std::string_view text, bool twentyFourHour, const OverlayLayout& layout) {
    std::vector<GlyphPlace> out;
    if (text.size() < 8) return out;
    const float step = Step(layout);
    if (twentyFourHour) {
        for (int k = 0; k < 8; ++k) out.push_back(At(text[k] - '0', layout.ClockX, layout.ClockY, k, step));
        return out;
    }
    if (!IsDigit(text[0]) || !IsDigit(text[1])) return out;
    const float originX = layout.ClockX - 2.0f * step;
    const int hours = (text[0] - '0') * 10 + (text[1] - '0');
    const bool morning = hours <= 11;
    int shown = hours;
    if (hours == 0 || hours == 12) {
        shown = 12;
    } else if (hours > 12) {
        shown = hours - 12;
    }
    if (shown / 10 != 0) out.push_back(At(shown / 10, originX, layout.ClockY, 0, step));
    out.push_back(At(shown % 10, originX, layout.ClockY, 1, step));
    for (int k = 2; k < 8; ++k) out.push_back(At(text[k] - '0', originX, layout.ClockY, k, step));
    out.push_back(At(morning ? kGlyphA : kGlyphP, originX, layout.ClockY, 8, step));
    out.push_back(At(kGlyphM, originX, layout.ClockY, 9, step));
    return out;
}

std::vector<GlyphPlace> FrameRateGlyphs(int framesPerSecond, const OverlayLayout& layout) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%i", framesPerSecond);
    std::vector<GlyphPlace> out;
    const float step = Step(layout);
    for (int k = 0; k < length && k < static_cast<int>(sizeof text) - 1; ++k) {
        const int glyph = text[k] < '0' ? kGlyphDot : text[k] - '0';
        out.push_back(At(glyph, layout.FrameRateX, layout.FrameRateY, k, step));
    }
    return out;
}

std::string LocalTimeText(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return "00:00:00";
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour % 100, local.tm_min % 100,
                  local.tm_sec % 100);
    return text;
}

void LoadGlyphs(GlyphSet& glyphs, media::ResourceBlob digitsArchive, TextureTable& textures,
                DisplayHost& host) {
    for (int g = 0; g < kGlyphCount; ++g) {
        const std::string name = std::string(kGlyphFolder) + kGlyphFiles[g];
        media::ResourceBlob blob = digitsArchive;
        blob.offset = 0;
        media::MemFile file;
        if (media::ExtractFile(blob, name, file, kDigitsPassword)) {
            glyphs.Glyphs[g] = textures.LoadFromMemory(file.data, file.size, kGlyphFiles[g], kGlyphFolder, true);
            media::FreeMemFile(file);
        }
    }
    host.Log("Load Digit textures complete");
}

void DrawOverlay(IDirect3DDevice8* device, const OverlayFrame& frame, const OverlayLayout& layout,
                 const GlyphSet& glyphs, int quadHandle, VertexBufferPool& pool, TextureTable& textures) {
    if (device == nullptr) return;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_ALPHAREF, 0);
    pool.SelectVertices(0, quadHandle);

    if (frame.ShowTime) {
        for (const GlyphPlace& place : ClockGlyphs(frame.TimeText, frame.TwentyFourHour, layout))
            DrawGlyph(device, place, layout, glyphs, quadHandle, pool, textures);
    }
    if (frame.ShowFrameRate) {
        for (const GlyphPlace& place : FrameRateGlyphs(frame.FramesPerSecond, layout))
            DrawGlyph(device, place, layout, glyphs, quadHandle, pool, textures);
    }

    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

}  // namespace display
