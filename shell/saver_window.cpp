// The saver's windows, the two message loops, the window procedure's rules and the way out.
#include "shell/saver_app.h"

#include "platform/host/resources.h"
#include "shell/preview_bitmap.h"

HRESULT SaverApp::CreateWindows() {
    host::WindowClass windowClass;
    windowClass.name = kWindowClassName;
    windowClass.procedure = &SaverWindowProc;
    windowClass.iconResource = kIconResource;
    if (!Host->RegisterWindowClass(windowClass)) return E_FAIL;

    host::WindowSpec spec;
    spec.className = kWindowClassName;
    spec.title = kWindowClassName;
    switch (Mode) {
        case RunMode::Preview: {
            RECT client{0, 0, 0, 0};
            // No parent, or one that is gone: the host makes a small window of the preview's size.
            if (ParentWindow == nullptr || !Host->GetClientRect(ParentWindow, client)) client = {0, 0, 155, 115};
            spec.role = host::WindowRole::Preview;
            spec.rect = client;  // a child window's client area is its window rectangle
            spec.style = WS_CHILD | WS_VISIBLE;
            spec.parent = ParentWindow;
            MainWindow = Host->CreateSaverWindow(spec);
            break;
        }
        case RunMode::Saver:
            spec.style = WS_POPUP | WS_VISIBLE;
            spec.exStyle = WS_EX_TOPMOST;
            for (int i = 0; i < MonitorCount; ++i) {
                MonitorInfo& monitor = Monitors[i];
                if (monitor.Monitor == nullptr) continue;
                spec.role = MainWindow == nullptr ? host::WindowRole::Saver : host::WindowRole::SaverBlack;
                spec.rect = monitor.Rect;
                spec.parent = MainWindow;
                monitor.Window = Host->CreateSaverWindow(spec);
                if (monitor.Window == nullptr) return E_FAIL;
                if (MainWindow == nullptr) MainWindow = monitor.Window;
            }
            break;
        case RunMode::Test:
            spec.role = host::WindowRole::Test;
            spec.rect = {50, 50, 650, 450};
            spec.style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
            MainWindow = Host->CreateSaverWindow(spec);
            break;
        default:
            break;
    }
    if (MainWindow == nullptr) return E_FAIL;
    Host->ShowCursor(false);
    return S_OK;
}

void SaverApp::PreviewStartupLoop() {
    // Without a window nothing would ever start the timer that ends this loop.
    if (MainWindow == nullptr) return;
    PreviewLoop = true;
    Host->PostMessage(MainWindow, WM_USER, 0, 0);
    host::Message message;
    while (PreviewLoop) {
        if (!Host->GetMessage(message, MainWindow)) {
            Host->PostQuitMessage(0);
            return;
        }
        Host->DispatchMessage(message);
    }
}

void SaverApp::Run() {
    IsWin9x = Host->PlatformId() == VER_PLATFORM_WIN32_WINDOWS;
    if (Mode == RunMode::Saver && IsWin9x) {
        DWORD usePassword = 0;
        if (Host->ReadScreenSaveUsePassword(usePassword) && usePassword != 0) {
            PasswordLibrary = Host->LoadPasswordLibrary();
            if (PasswordLibrary != nullptr) VerifyPassword = Host->FindVerifyPassword(PasswordLibrary);
        }
    }

    if (Mode != RunMode::Preview) {
        const int created = CreateRenderDevice(MainWindow);
        if (created == 1) {
            Host->MessageBox(MainWindow, "Cant get Desktop DisplayMode.", "Error!", MB_ICONERROR);
            return;
        }
        if (created == 2) {
            Host->MessageBox(MainWindow, "Could not find any compatible Direct3D\ndevices.", "Error!", MB_ICONERROR);
            return;
        }
        LoadDigits(Device);
        LoadScene(Device);
        AfterLoadScene(Device);
        StartMusic();
        Log.Write("All Data Was Loaded.");
    } else if (MainWindow == nullptr) {
        // A preview without a window has nothing to show and nothing that could ever end it.
        return;
    }

    Host->SetTimer(MainWindow, kFrameRateTimer, kFrameRateTimerMs);
    Quit = false;
    LastFrameTime = static_cast<float>(Host->TimeGetTime());
    host::Message message;
    while (message.message != WM_QUIT && !Quit) {
        if (Host->PeekMessage(message)) {
            if (message.message != WM_QUIT) Host->DispatchMessage(message);
        } else if (Mode != RunMode::Preview) {
            Frame();
        }
        Host->Sleep(2);
    }
}

void SaverApp::PaintPreview(HWND window) {
    if (PreviewBitmap) Host->DrawPicture(window, *PreviewBitmap);
}

LRESULT SaverApp::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (Mode == RunMode::Preview) {
                const host::ResourceBytes bytes = host::FindResource("BITMAP", kPreviewBitmapResource);
                PreviewBitmap = DecodePreviewBitmap({bytes.data, bytes.size});
            }
            break;
        case WM_DESTROY:
        case WM_CLOSE:
            Quit = true;
            return 1;
        case WM_PAINT:
            if (Mode == RunMode::Preview) {
                DefaultWindowProc(window, message, wParam, lParam);  // the background under a short picture
                PaintPreview(window);
                return 0;
            }
            break;
        case WM_ACTIVATEAPP:
            if (wParam == 0 && Mode != RunMode::Test) return RequestExit();
            break;
        case WM_SETCURSOR:
            if (Mode == RunMode::Saver) return 1;
            break;
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (Mode != RunMode::Test) return RequestExit();
            break;
        case WM_MOUSEMOVE:
            if (Mode != RunMode::Preview && Settings.ExitOnMouseMove) {
                MouseMoveBudget -= 1;
                if (MouseMoveBudget < 0) return RequestExit();
            }
            break;
        case WM_SYSCOMMAND:
            if (Mode == RunMode::Saver &&
                (wParam == SC_CLOSE || wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
                return RequestExit();
            break;
        case WM_TIMER:
            if (wParam == kPreviewTimer) {
                PreviewLoop = false;
                Host->KillTimer(window, kPreviewTimer);
            } else if (wParam == kFrameRateTimer) {
                FramesPerSecond = FrameCount;
                FrameCount = 0;
            }
            break;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMSUSPEND && !VerifyPassword) return RequestExit();
            break;
        case WM_USER:
            Host->SetTimer(window, kPreviewTimer, kPreviewTimerMs);
            break;
        default:
            break;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

int SaverApp::RequestExit() {
    if (Mode != RunMode::Saver && Mode != RunMode::Test) return 0;
    if (IsWin9x && Mode == RunMode::Saver && VerifyPassword) {
        if (FrameParity == 0 && Device != nullptr) Device->Present(nullptr, nullptr, nullptr, nullptr);
        if (!VerifyPassword(MainWindow)) {
            Host->ShowCursor(false);
            MouseMoveBudget = 0;
            FrameParity = 1;
            // The time spent in the dialog is not frame time.
            LastFrameTime = static_cast<float>(Host->TimeGetTime());
            return 0;
        }
    }
    Shutdown();
    return 1;
}

void SaverApp::Shutdown() {
    StopMusic();
    if (Device != nullptr) RestoreLinearGamma();
    ReleaseTextures();
    ReleaseScene();
    ReleaseDevice();
    Display.ReleaseDirect3D();
    Host->KillTimer(MainWindow, kFrameRateTimer);
    if (PasswordLibrary != nullptr) {
        Host->FreePasswordLibrary(PasswordLibrary);
        PasswordLibrary = nullptr;
        VerifyPassword = nullptr;
    }
    Quit = true;
    Log.Close();
}
