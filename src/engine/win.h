// The few Windows user-interface calls the demo makes, and its entry point.
// On Windows these are the real ones; elsewhere the engine provides them
// (pointer hidden over the display, focus to the display) and main() calls WinMain.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
using HWND = void*;
using HINSTANCE = void*;
using LPSTR = char*;
using BOOL = int;
#ifndef FALSE
#define FALSE 0
#endif
#define WINAPI

int ShowCursor(BOOL show);
HWND GetForegroundWindow();
HWND SetFocus(HWND window);
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showMode);
