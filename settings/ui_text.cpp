// UI texts: the UTF-8 decoder, the line list and the key lookup.
//
// Decoder limits: see ui_text.h. Every byte is read by index below the size of the input; each
// step consumes at least one byte, so the decoder always ends.
#include "settings/ui_text.h"

namespace settings {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Decodes one character at `pos`, advancing it. Returns 0 for the byte-order mark (which is then
// dropped like any NUL).
char16_t DecodeOne(std::span<const std::uint8_t> in, std::size_t& pos) {
    const std::size_t n = in.size();
    const std::uint8_t lead = in[pos];
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t need = 0;
    char16_t value = 0;
    if (lead >= 0xC0 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        // A four-byte sequence (outside the 16-bit range): one replacement for the whole of it.
        ++pos;
        for (int i = 0; i < 3 && pos < n && IsContinuation(in[pos]); ++i) ++pos;
        return kReplacement;
    } else {
        ++pos;  // a stray continuation byte or a lead that no sequence has
        return kReplacement;
    }
    ++pos;
    for (std::size_t i = 0; i < need; ++i) {
        // A sequence cut short keeps the byte that cut it: a line feed after a broken lead still
        // ends its line.
        if (pos >= n || !IsContinuation(in[pos])) return kReplacement;
        value = static_cast<char16_t>((value << 6) | (in[pos] & 0x3F));
        ++pos;
    }
    if (value == 0xFEFF) return 0;
    return value;
}

}  // namespace

std::u16string DecodeUiTextUtf8(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const char16_t c = DecodeOne(bytes, pos);
        if (c != 0) out += c;
    }
    return out;
}

std::vector<std::u16string> SplitUiTextLines(std::span<const std::uint8_t> bytes) {
    std::vector<std::u16string> lines;
    std::u16string current;
    bool pending = false;  // characters (or dropped ones) since the last line feed
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const char16_t c = DecodeOne(bytes, pos);
        pending = true;
        if (c == u'\n') {
            lines.push_back(std::move(current));
            current.clear();
            pending = false;
            continue;
        }
        if (c != 0 && c != u'\r') current += c;
    }
    if (pending) lines.push_back(std::move(current));
    return lines;
}

std::string ToLowByteString(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out += static_cast<char>(static_cast<std::uint8_t>(c & 0xFF));
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        std::uint32_t cp = c;
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::vector<std::string> SplitMultiLine(std::string_view text, std::size_t count) {
    std::vector<std::string> out(count);
    std::size_t line = 0;
    for (char c : text) {
        if (line >= count) break;
        if (c == '%') {
            ++line;
            continue;
        }
        out[line] += c;
    }
    return out;
}

void UiText::Load(std::span<const std::uint8_t> bytes) {
    lines_ = SplitUiTextLines(bytes);
    // Key lines keep their first and last character; between them A-Z become a-z.
    for (std::u16string& line : lines_) {
        if (line.empty() || line.front() != u'#') continue;
        for (std::size_t i = 1; i + 1 < line.size(); ++i) line[i] = LowerAscii(line[i]);
    }
    title_ = Get(std::string_view("screensaver_configuration"));
    const auto about = SplitMultiLine(Get(std::string_view("about_window_text")), kAboutLines);
    for (std::size_t i = 0; i < kAboutLines; ++i) about_[i] = about[i];
}

const std::u16string* UiText::Find(std::u16string_view key) const {
    std::u16string wanted(key);
    for (char16_t& c : wanted) c = LowerAscii(c);
    // The last line cannot be a key that is found: its text would be the line after it.
    for (std::size_t i = 0; i + 1 < lines_.size(); ++i) {
        const std::u16string& line = lines_[i];
        if (line.empty() || line.front() != u'#') continue;
        if (line.size() - 1 < wanted.size()) continue;
        if (std::u16string_view(line).substr(1, wanted.size()) != wanted) continue;
        const std::size_t diff = line.size() > wanted.size() ? line.size() - wanted.size() : 0;
        if (diff > 2) continue;
        return &lines_[i + 1];
    }
    return nullptr;
}

std::u16string UiText::GetWide(std::u16string_view key) const {
    const std::u16string* text = Find(key);
    return text != nullptr ? *text : std::u16string();
}

std::string UiText::Get(std::u16string_view key) const { return ToLowByteString(GetWide(key)); }

std::string UiText::Get(std::string_view key) const {
    std::u16string wide;
    for (char c : key) wide += static_cast<char16_t>(static_cast<std::uint8_t>(c));
    return Get(std::u16string_view(wide));
}

std::string UiText::GetUtf8(std::string_view key) const {
    std::u16string wide;
    for (char c : key) wide += static_cast<char16_t>(static_cast<std::uint8_t>(c));
    return ToUtf8(GetWide(wide));
}

}  // namespace settings
