// What the configuration dialog shows and does, without any window toolkit: the state of every
// control (caption, check mark, enabled, shown, trackbar range and position, list entries), the
// commands that change the live record, Restore Defaults, OK (stores) and Cancel (stores nothing).
// A view draws the controls from here and reports the user's actions back.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/settings_store.h"
#include "settings/settings.h"
#include "settings/ui_text.h"

namespace settings {

// Control ids of the dialog template.
enum ConfigControl : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdModeList = 1011,
    kIdUseDesktopSettings = 1012,
    kIdVolume = 1020,
    kIdMusic = 1021,
    kIdSfx = 1022,
    kIdVolumeLabel = 1023,
    kIdClock12h = 1111,
    kIdClock24h = 1110,
    kIdShowTime = 1043,
    kIdShowFps = 1044,
    kIdExitOnMouseMove = 1045,
    kIdGamma = 1046,
    kIdMultisampleList = 1047,
    kIdAbout = 1062,
    kIdRestoreDefaults = 1063,
    kIdGammaLabel = 1106,
    kIdAdvancedLighting = 1117,
    kIdVideoGroup = 1129,
    kIdSoundGroup = 1130,
    kIdGraphicsGroup = 1131,
    kIdMiscGroup = 1134,
    kIdMultisampleLabel = 1136,
};

// Horizontal-scroll notification codes of a trackbar.
enum TrackbarCode : int {
    kTrackPageUp = 2,
    kTrackPageDown = 3,
    kTrackThumbPosition = 4,
    kTrackThumbTrack = 5,
    kTrackEndTrack = 8,
};

struct ControlState {
    std::string caption;  // UTF-8; empty keeps the template's caption
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    int range_min = 0, range_max = 0, page = 0, position = 0;  // trackbars
};

struct ListItem {
    std::string text;
    int data = 0;  // mode index, or the ordinal among the supported multisample choices
};

// What the display enumeration of the current adapter offers.
struct DisplayChoices {
    struct Mode {
        int index = 0;  // the enumeration's mode index (the item's data)
        int width = 0, height = 0;
        bool is32bit = false;  // A8R8G8B8 or X8R8G8B8
        std::string text;
    };
    std::vector<Mode> modes;
    // Whether a multisample count (2..16) is supported; "none" always is. Empty: none but "none".
    std::function<bool(int)> supports_samples;
    // Vertex shaders 1.1 and pixel shaders 1.4 on the default adapter.
    bool shader_support = false;
};

class ConfigDialogModel {
public:
    ConfigDialogModel(const UiText& texts, host::SettingsStore& store, const Settings& defaults,
                      DisplayChoices choices);

    // Dialog initialisation: read the store into the live record, fill the lists, set every
    // control. `live` starts as given (the application object's record).
    void Open(const Settings& live);

    // A click on a checkbox, radio button or button. Returns the dialog's result when the command
    // ends it (1 for OK, 2 for Cancel), else 0. kIdAbout sets about_requested().
    int Command(int id);
    // A trackbar notification; the positions are those in control(kIdVolume)/control(kIdGamma),
    // which the view updates first. Codes are not told apart by the trackbar that sent them.
    void HorizontalScroll(int code);
    // A confirmed selection (the item's data); -1 (no selection) is ignored.
    void SelectMode(int item_data);
    void SelectMultisample(int item_data);

    const ControlState& control(int id) const;
    ControlState& control(int id);  // for the view's trackbar positions
    const std::vector<ListItem>& mode_items() const { return mode_items_; }
    const std::vector<ListItem>& multisample_items() const { return multisample_items_; }
    int selected_mode_item() const { return selected_mode_item_; }        // -1 when none
    int selected_multisample_item() const { return selected_multisample_item_; }
    int chosen_mode() const { return chosen_mode_; }                      // -1 until a selection

    const std::string& title() const { return title_; }
    const Settings& live() const { return live_; }
    bool about_requested() const { return about_requested_; }
    void clear_about_requested() { about_requested_ = false; }

    // Progress lines for the log.
    std::function<void(std::string_view)> log;

private:
    void Log(std::string_view line) const;
    void FillLists();
    void InitExtras();
    void SetCaptionsAndStates();
    void UpdateGammaLabel();
    void UpdateEnabling();

    const UiText& texts_;
    host::SettingsStore& store_;
    Settings defaults_;
    DisplayChoices choices_;
    Settings live_;
    std::map<int, ControlState> controls_;
    std::vector<ListItem> mode_items_;
    std::vector<ListItem> multisample_items_;
    int selected_mode_item_ = -1;
    int selected_multisample_item_ = -1;
    int chosen_mode_ = -1;
    std::string title_;
    bool about_requested_ = false;
};

}  // namespace settings
