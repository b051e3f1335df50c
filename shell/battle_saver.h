// The battle saver: the concrete application object. The scene itself arrives with the scene
// folder; until then it only keeps the shell's settings and switches.
#pragma once

#include "shell/saver_app.h"

class BattleSaver : public SaverApp {
public:
    BattleSaver();

    void InitDefaults() override;
    void ReadExtraSettings() override;
    void WriteExtraSettings() override;
    void ResetExtraSettings() override;

    // Its own operations, after the base ones.
    virtual HRESULT RenderScene(IDirect3DDevice8* device);
    virtual HRESULT CaptureCutFrame(IDirect3DDevice8* device);
    virtual HRESULT RenderArmyShadows(IDirect3DDevice8* device);
};
