// Start-up and the main loop: mount the data, ask how to run, create the window and the device,
// run the show frame by frame until it ends.
#pragma once

#include <optional>
#include <string>

#include "main/sizeOption.h"

/// How the full-screen question is answered.
enum class ScreenChoice { Ask, Windowed, Fullscreen };

/// Starts PhysicsFS with the write directory "." and mounts the show's archive and folder at the root
/// ("demo.dat" and "data/" unless a show is named), logging each mount; returns the message of the
/// box to show on failure ("" on success).
std::string MountData();

/// The program as a windowed show; `commandLine` holds the arguments joined by spaces, `start` the
/// music time of the first frame, `size` the window's size and the render size. Returns the exit
/// code: 0 after a run or Cancel, -1 after a start-up failure.
int WinMain(const std::string& commandLine, ScreenChoice choice, std::optional<double> start = std::nullopt,
            const SizeRequest& size = {});

/// The main loop: runs frames until the quit flag is set, the first at `start` seconds of music.
void Run(bool transport, std::optional<double> start = std::nullopt);
