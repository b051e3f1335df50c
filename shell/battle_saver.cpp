#include "shell/battle_saver.h"

BattleSaver::BattleSaver() { Settings.UseAdvLight = DefaultSettings.UseAdvLight; }

void BattleSaver::InitDefaults() {
    OverlayLayout = display::kBattleOverlayLayout;
    LogEnabled = false;
}

void BattleSaver::ReadExtraSettings() {
    if (SettingsStore != nullptr) settings::ReadExtraSettings(*SettingsStore, Settings);
}

void BattleSaver::WriteExtraSettings() {
    if (SettingsStore != nullptr) settings::WriteExtraSettings(*SettingsStore, Settings);
}

void BattleSaver::ResetExtraSettings() { settings::ResetExtraSettings(Settings, DefaultSettings); }

HRESULT BattleSaver::RenderScene(IDirect3DDevice8*) { return S_OK; }
HRESULT BattleSaver::CaptureCutFrame(IDirect3DDevice8*) { return S_OK; }
HRESULT BattleSaver::RenderArmyShadows(IDirect3DDevice8*) { return S_OK; }
