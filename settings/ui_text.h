// The UI texts: every caption of the configuration dialog and the about box, by key, from one
// UTF-8 text resource (CustomData 479) so that the interface can be translated without code.
//
// Format: lines separated by line feeds (carriage returns dropped, a byte-order mark anywhere is
// ignored). A line "#key#" names the text on the line right after it; '%' in a text breaks it
// into lines where the dialog shows several. Other lines are kept but never match.
//
// Decoder limits: one-, two- and three-byte UTF-8 sequences give 16-bit characters; a byte that
// starts no such sequence (a stray continuation byte, a four-byte or invalid lead, a sequence cut
// short by the end of the text or by a byte that is no continuation byte) gives one U+FFFD and
// the decoder moves on past the bytes it took, never past the end. No other limit than memory:
// at most one 16-bit character per input byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

class UiText {
public:
    static constexpr std::size_t kAboutLines = 7;

    // LoadUiText: replaces the lines with those of `bytes`, then looks up and keeps the dialog
    // title ("screensaver_configuration") and the seven about lines ("about_window_text").
    void Load(std::span<const std::uint8_t> bytes);
    // The same from the executable's resource CustomData 479; a missing resource leaves no lines,
    // so every lookup gives "" (controls then keep their template captions).
    void LoadFromResource();

    // GetUiText: the text of `key` (ASCII case ignored) as an 8-bit string, each character's low
    // byte (lossless up to U+00FF); "" for a key that matches no line.
    std::string Get(std::u16string_view key) const;
    std::string Get(std::string_view key) const;  // an ASCII key
    // The same text without loss: 16-bit, and UTF-8 for toolkits that take it.
    std::u16string GetWide(std::u16string_view key) const;
    std::string GetUtf8(std::string_view key) const;

    // Kept at load time.
    const std::string& ConfigurationTitle() const { return title_; }
    const std::array<std::string, kAboutLines>& AboutLines() const { return about_; }

    const std::vector<std::u16string>& lines() const { return lines_; }

private:
    const std::u16string* Find(std::u16string_view key) const;

    std::vector<std::u16string> lines_;
    std::string title_;
    std::array<std::string, kAboutLines> about_;
};

// The decoder and helpers, on their own for tests, the fuzzer and the dialogs.
std::u16string DecodeUiTextUtf8(std::span<const std::uint8_t> bytes);
std::vector<std::u16string> SplitUiTextLines(std::span<const std::uint8_t> bytes);
std::string ToLowByteString(std::u16string_view text);
std::string ToUtf8(std::u16string_view text);  // lone surrogates become U+FFFD
// Splits at each '%' into exactly `count` lines: missing ones are empty, text after the last
// break that fits is dropped.
std::vector<std::string> SplitMultiLine(std::string_view text, std::size_t count);

}  // namespace settings
