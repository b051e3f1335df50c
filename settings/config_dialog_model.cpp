#include "settings/config_dialog_model.h"

#include <string>

namespace settings {

namespace {

constexpr int kMaxSamples = 16;

const ControlState kNoControl{};

}  // namespace

ConfigDialogModel::ConfigDialogModel(const UiText& texts, host::SettingsStore& store, const Settings& defaults,
                                     DisplayChoices choices)
    : texts_(texts), store_(store), defaults_(defaults), choices_(std::move(choices)) {}

void ConfigDialogModel::Log(std::string_view line) const {
    if (log) log(line);
}

const ControlState& ConfigDialogModel::control(int id) const {
    auto it = controls_.find(id);
    return it != controls_.end() ? it->second : kNoControl;
}

ControlState& ConfigDialogModel::control(int id) { return controls_[id]; }

void ConfigDialogModel::Open(const Settings& live) {
    live_ = live;
    title_ = texts_.GetUtf8("screensaver_configuration");
    ReadSettings(store_, live_);
    ResetExtraSettings(live_, defaults_);
    ReadExtraSettings(store_, live_);
    Log("Read settings from reg complete.");
    FillLists();
    Log("Video mode controls init complete.");
    InitExtras();
    Log("Dialog controls init complete.");
    SetCaptionsAndStates();
    Log("Def Dialog controls init complete.");
    Log("Create Config Window complete.");
}

void ConfigDialogModel::FillLists() {
    mode_items_.clear();
    selected_mode_item_ = -1;
    for (const auto& m : choices_.modes) {
        if (selected_mode_item_ < 0 && m.width == live_.Width && m.height == live_.Height &&
            (m.is32bit ? 32 : 16) == live_.BitCount) {
            selected_mode_item_ = static_cast<int>(mode_items_.size());
        }
        mode_items_.push_back({m.text, m.index});
    }
    if (selected_mode_item_ < 0 && !mode_items_.empty()) selected_mode_item_ = 0;

    multisample_items_.clear();
    multisample_items_.push_back({texts_.GetUtf8("none"), 0});
    selected_multisample_item_ = 0;
    const std::string samples = texts_.GetUtf8("samples");
    for (int n = 2; n <= kMaxSamples; ++n) {
        if (!choices_.supports_samples || !choices_.supports_samples(n)) continue;
        if (n == live_.FSAA) selected_multisample_item_ = static_cast<int>(multisample_items_.size());
        multisample_items_.push_back({std::to_string(n) + " " + samples,
                                      static_cast<int>(multisample_items_.size())});
    }
}

void ConfigDialogModel::InitExtras() {
    ControlState& adv = control(kIdAdvancedLighting);
    adv.checked = live_.UseAdvLight && choices_.shader_support;
    adv.enabled = choices_.shader_support;
}

void ConfigDialogModel::UpdateGammaLabel() {
    control(kIdGammaLabel).caption =
        texts_.GetUtf8("gamma_control:") + " " + std::to_string(live_.GmCntrl) + "%";
}

void ConfigDialogModel::UpdateEnabling() {
    control(kIdClock24h).enabled = live_.ShowTime != FALSE;
    control(kIdClock12h).enabled = live_.ShowTime != FALSE;
    control(kIdModeList).enabled = live_.UseDesktopSettings == FALSE;
    const bool sound = live_.Music || live_.SFX;
    control(kIdVolume).enabled = sound;
    control(kIdVolumeLabel).enabled = sound;
}

void ConfigDialogModel::SetCaptionsAndStates() {
    static const std::pair<int, const char*> kCaptions[] = {
        {kIdVideoGroup, "video_mode_selection"}, {kIdUseDesktopSettings, "use_desktop_settings"},
        {kIdSoundGroup, "sound_control"},        {kIdVolumeLabel, "master_volume:"},
        {kIdMusic, "enable_music"},              {kIdSfx, "enable_sfx"},
        {kIdGraphicsGroup, "graphics"},          {kIdMultisampleLabel, "fullscreen_antialiasing"},
        {kIdAdvancedLighting, "enable_advanced_lighting"},
        {kIdMiscGroup, "misc_options"},          {kIdShowFps, "show_fps"},
        {kIdShowTime, "show_time"},              {kIdClock24h, "24h_style"},
        {kIdClock12h, "12h_style"},              {kIdExitOnMouseMove, "exit_on_mouse_move"},
        {kIdAbout, "about"},                     {kIdRestoreDefaults, "restore_defaults"},
        {kIdOk, "ok"},                           {kIdCancel, "cancel"},
    };
    for (const auto& [id, key] : kCaptions) control(id).caption = texts_.GetUtf8(key);

    control(kIdShowFps).checked = live_.ShowFPS;
    control(kIdShowTime).checked = live_.ShowTime;
    control(kIdExitOnMouseMove).checked = live_.ExitOnMouseMove;
    control(kIdMusic).checked = live_.Music;
    control(kIdUseDesktopSettings).checked = live_.UseDesktopSettings;
    control(kIdClock24h).checked = live_.DigClock_24H;
    control(kIdClock12h).checked = !live_.DigClock_24H;

    ControlState& gamma = control(kIdGamma);
    gamma.range_min = 10;
    gamma.range_max = 200;
    gamma.page = 1;
    gamma.position = live_.GmCntrl;
    UpdateGammaLabel();

    // This saver has no sound effects.
    live_.SFX = FALSE;
    control(kIdSfx).checked = false;
    control(kIdSfx).visible = false;

    ControlState& volume = control(kIdVolume);
    volume.range_min = 1;
    volume.range_max = 100;
    volume.page = 10;
    volume.position = live_.MusicVolume;
    UpdateEnabling();
}

int ConfigDialogModel::Command(int id) {
    auto toggle = [&](BOOL& field) {
        field = field ? FALSE : TRUE;
        control(id).checked = field != FALSE;
        UpdateEnabling();
    };
    switch (id) {
        case kIdShowFps: toggle(live_.ShowFPS); break;
        case kIdShowTime: toggle(live_.ShowTime); break;
        case kIdExitOnMouseMove: toggle(live_.ExitOnMouseMove); break;
        case kIdMusic: toggle(live_.Music); break;
        case kIdSfx: toggle(live_.SFX); break;
        case kIdUseDesktopSettings: toggle(live_.UseDesktopSettings); break;
        case kIdClock24h:
        case kIdClock12h:
            live_.DigClock_24H = id == kIdClock24h;
            control(kIdClock24h).checked = live_.DigClock_24H;
            control(kIdClock12h).checked = !live_.DigClock_24H;
            break;
        case kIdAdvancedLighting:
            live_.UseAdvLight = live_.UseAdvLight ? FALSE : TRUE;
            control(id).checked = live_.UseAdvLight != FALSE;
            break;
        case kIdAbout: about_requested_ = true; break;
        case kIdRestoreDefaults:
            ResetExtraSettings(live_, defaults_);
            RestoreDefaults(live_, defaults_);
            FillLists();
            InitExtras();
            SetCaptionsAndStates();
            break;
        case kIdOk:
            WriteSettings(store_, live_);
            WriteExtraSettings(store_, live_);
            Log("Write settings to reg complete.");
            return kIdOk;
        case kIdCancel: return kIdCancel;
        default: break;
    }
    return 0;
}

void ConfigDialogModel::HorizontalScroll(int code) {
    if (code == kTrackPageUp || code == kTrackPageDown || code == kTrackThumbTrack) {
        live_.MusicVolume = control(kIdVolume).position;
    }
    if (code == kTrackPageUp || code == kTrackPageDown || code == kTrackThumbPosition ||
        code == kTrackThumbTrack || code == kTrackEndTrack) {
        live_.GmCntrl = static_cast<std::uint8_t>(control(kIdGamma).position & 0xFF);
        UpdateGammaLabel();
    }
}

void ConfigDialogModel::SelectMode(int item_data) {
    if (item_data < 0) return;
    for (std::size_t i = 0; i < choices_.modes.size(); ++i) {
        const auto& m = choices_.modes[i];
        if (m.index != item_data) continue;
        chosen_mode_ = m.index;
        selected_mode_item_ = static_cast<int>(i);
        live_.Width = m.width;
        live_.Height = m.height;
        live_.BitCount = m.is32bit ? 32 : 16;
        return;
    }
}

void ConfigDialogModel::SelectMultisample(int item_data) {
    if (item_data < 0) return;
    int ordinal = 0;
    for (int n = 0; n <= kMaxSamples; ++n) {
        if (n == 1) continue;  // candidates: none, then 2..16 samples
        const bool supported = n == 0 || (choices_.supports_samples && choices_.supports_samples(n));
        if (!supported) continue;
        if (ordinal == item_data) {
            live_.FSAA = n;
            selected_multisample_item_ = ordinal;
            return;
        }
        ++ordinal;
    }
}

}  // namespace settings
