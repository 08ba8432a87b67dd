// Where the program finds its own files: the compiler process beside the program in a build folder,
// or under ../libexec/vantrisk in an installed tree; and, for an installed program, the user's cache
// folder, since an installed tree is not the user's to write into.
#pragma once

#include <string>

namespace Platform {

/// The folder of the running program, ending in '/' ("" when it cannot be told).
std::string ProgramFolder();

/// The compiler process of a program in `programFolder`: "vantrisk-shaderc" beside it, else
/// ../libexec/vantrisk/vantrisk-shaderc; "" when there is neither.
std::string FindCompilerProcess(const std::string& programFolder);

/// True when a program in `programFolder` runs from an installed tree (its compiler process lies
/// under ../libexec/vantrisk rather than beside it).
bool IsInstalledTree(const std::string& programFolder);

/// The program's folder in the user's cache, created if need be: `xdgCacheHome`/vantrisk when that
/// is an absolute path that can be written, else `home`/.cache/vantrisk; "" when neither can.
/// Either argument may be null (unset), as getenv gives them.
std::string UserCacheFolder(const char* xdgCacheHome, const char* home);

}  // namespace Platform
