// The two text resources the executable carries, found through the host: the UI texts
// (CustomData 479) and the default settings (CustomData 492). Kept apart so that tests and tools
// can use the parsers without linking the resources in.
#include "platform/host/resources.h"
#include "settings/settings.h"
#include "settings/ui_text.h"

namespace settings {

Settings LoadDefaultsFromResource(const MessageSink& sink) {
    const host::ResourceBytes res = host::FindResource("CustomData", 492);
    std::span<const std::uint8_t> text;
    if (res.data != nullptr) text = {res.data, res.size};
    return LoadDefaults(text, sink);
}

void UiText::LoadFromResource() {
    const host::ResourceBytes res = host::FindResource("CustomData", 479);
    std::span<const std::uint8_t> bytes;
    if (res.data != nullptr) bytes = {res.data, res.size};
    Load(bytes);
}

}  // namespace settings
