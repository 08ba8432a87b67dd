// The program's name and version, as --version prints them; the build writes the definition from the
// project's version and, when built from a checkout, its commit.
#pragma once

/// "vantrisk VERSION", followed by " (git COMMIT)" when built from a checkout.
const char* VersionText();
