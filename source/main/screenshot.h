// Screenshots: the back buffer as last presented, saved as a numbered 24-bit PNG in the folder
// "Screenshots" of the write directory (F11 in the window).
#pragma once

/// Saves the back buffer as the next free "Screenshots/screenshot%03d.png"; failures are logged and
/// leave no file.
void SaveSceenshot();

/// Numbers the next screenshot from 1 again, as at the start of a run (for tests: a run numbers on
/// from the last number it used, never re-testing lower ones).
void ResetScreenshotNumbering();
