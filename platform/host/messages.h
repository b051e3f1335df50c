// Message, command and box codes that the host port carries to the shell. They keep the Win32
// names and values so that the shell's window procedure reads the same on every platform; on
// Windows <windows.h> already defines them.
#pragma once

#include "platform/d3d8/windows_types.h"

#if !defined(_WIN32)

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_USER = 0x0400;

// WM_SYSCOMMAND codes (wParam).
constexpr WPARAM SC_NEXTWINDOW = 0xF040;
constexpr WPARAM SC_PREVWINDOW = 0xF050;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_SCREENSAVE = 0xF140;

// WM_POWERBROADCAST events (wParam).
constexpr WPARAM PBT_APMSUSPEND = 4;

// Window styles the shell asks for.
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_EX_TOPMOST = 0x00000008u;

// Message box kinds and answers.
constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_ICONERROR = 0x00000010u;
constexpr UINT MB_ICONWARNING = 0x00000030u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr int IDOK = 1;

// GetVersionEx platform ids.
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// Display device state flags.
constexpr DWORD DISPLAY_DEVICE_ATTACHED_TO_DESKTOP = 0x1;
constexpr DWORD DISPLAY_DEVICE_PRIMARY_DEVICE = 0x4;
constexpr DWORD DISPLAY_DEVICE_MIRRORING_DRIVER = 0x8;

// Virtual key codes the adapters report for keys they cannot name otherwise.
constexpr WPARAM VK_SPACE = 0x20;

#endif  // !_WIN32
