#include "display/frame.h"

#include <cmath>

#include "model/view_matrix.h"

namespace display {

HRESULT Frame(IDirect3DDevice8* device, D3DPRESENT_PARAMETERS& presentParams,
              const FrameCounters& counters, FrameOperations& operations, DisplayHost& host) {
    if (device == nullptr) return E_FAIL;

    const auto now = static_cast<float>(host.TimeMs());
    const float previous = counters.LastFrameTime;
    counters.LastFrameTime = static_cast<float>(host.TimeMs());
    float elapsed = now - previous;
    if (!(elapsed >= 0.0f)) elapsed = 0.0f;  // a clock stepping back, or NaN

    const HRESULT hr = device->TestCooperativeLevel();
    if (FAILED(hr)) {
        if (hr == D3DERR_DEVICENOTRESET) {
            host.Log("Device was lost.");
            host.Log("Try to restore.");
            device->Reset(&presentParams);
            operations.InitDeviceState(device);
            counters.FrameParity = 1;
            host.Log("Restore state to complete.");
            host.Log("");
            counters.LastFrameTime = static_cast<float>(host.TimeMs());
        }
        return hr;
    }

    operations.FrameMove(device, elapsed);
    operations.Render(device);
    counters.FrameParity = 1 - counters.FrameParity;
    counters.FrameCount += 1;
    return S_OK;
}

D3DMATRIX DefaultProjection(const D3DVIEWPORT8& viewport) {
    const float aspect = viewport.Width > 0 && viewport.Height > 0
                             ? static_cast<float>(viewport.Width) / static_cast<float>(viewport.Height)
                             : 4.0f / 3.0f;
    const float nearZ = 1.0f;
    const float farZ = 1000.0f;
    const float yScale = 1.0f / std::tan(3.14159265f / 8.0f);
    const float xScale = yScale / aspect;
    D3DMATRIX m{};
    m.m[0][0] = xScale;
    m.m[1][1] = yScale;
    m.m[2][2] = farZ / (farZ - nearZ);
    m.m[2][3] = 1.0f;
    m.m[3][2] = -nearZ * farZ / (farZ - nearZ);
    return m;
}

void DefaultInitDeviceState(IDirect3DDevice8* device) {
    if (device == nullptr) return;
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ALPHAREF, 32);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);

    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);

    D3DMATERIAL8 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    material.Power = 50.0f;
    device->SetMaterial(&material);

    D3DMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);

    D3DVIEWPORT8 viewport{};
    device->GetViewport(&viewport);
    const D3DMATRIX projection = DefaultProjection(viewport);
    device->SetTransform(D3DTS_PROJECTION, &projection);
}

void DefaultFrameMove(IDirect3DDevice8* device, float /*elapsedMs*/) {
    if (device == nullptr) return;
    D3DMATRIX view;
    model::BuildViewMatrix(view, D3DVECTOR{0.0f, 0.0f, -1.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f},
                           D3DVECTOR{0.0f, 1.0f, 0.0f});
    device->SetTransform(D3DTS_VIEW, &view);
}

void DefaultRender(IDirect3DDevice8* device, const std::function<void(IDirect3DDevice8*)>& overlay) {
    if (device == nullptr) return;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kDefaultClearColour, 1.0f, 0);
    device->BeginScene();
    if (overlay) overlay(device);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

}  // namespace display
