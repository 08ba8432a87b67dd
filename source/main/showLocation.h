// Which show the program mounts: demo.dat and data/ in the working directory, as always, or the show
// named on the command line: a folder holding its own demo.dat and data/, or an archive file.
// The log and the screenshots stay in the working directory either way.
#pragma once

#include <string>

/// Names the show to mount; "" (the start value) is the working directory.
void SetShow(const std::string& show);
/// The show named on the command line ("" for the working directory).
const std::string& GetShow();
/// The named show's absolute path, for the log ("" for the working directory).
std::string ShowPath();

/// What to mount for a show, or why it cannot be played.
struct ShowMounts {
    std::string archive;  ///< host path of the archive to mount at the root ("" for none)
    std::string folder;   ///< host path of the folder mounted over it ("" for none)
    std::string problem;  ///< why a named show cannot be played ("" when it may be)
};

/// The mounts of `show`: "" gives "demo.dat" and "data/" of the working directory; a folder gives its
/// own demo.dat and data/; any other file is an archive mounted as demo.dat would be.
ShowMounts MountsOf(const std::string& show);
