// The program's one window and its window procedure: window events become the process-wide flags
// (quit, focus), resize the back buffer and take screenshots.
#pragma once

#include <memory>

#include "platform/window/window.h"

/// The main window; null until CreateMainWindow and in headless runs.
extern std::unique_ptr<Platform::Window> g_mainWindow;

/// Whether the author's overlay is shown over the show; F1 toggles it.
extern bool g_overlayShown;

/// Title of the window, and caption of the full-screen question.
inline constexpr char kWindowTitle[] = "Vantrisk - Quillmar";

/// Creates and shows the window (800 by 600 unless a size is given), centred, on top, with the cursor
/// hidden.
bool CreateMainWindow(int clientWidth = 800, int clientHeight = 600);

/// Handles one window message.
void WndProc(const Platform::Message& message);
