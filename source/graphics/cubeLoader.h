// Colour look-up tables: the ".cube" text read into a table of 8-bit RGBA entries for a 3D texture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// A 3D colour look-up table parsed from the bytes of a ".cube" file. Entry i is the i-th data row;
/// red varies fastest, so in a texture entry i lands at x = i mod N, y = (i / N) mod N, z = i / N^2.
class CubeLoader {
public:
    /// The largest edge length accepted; a bigger table fails the parse instead of being allocated.
    static constexpr int kMaxSize = 256;

    /// Parses `length` bytes (no terminator needed), logs the attempt and its outcome, and sets `ok`.
    CubeLoader(const void* bytes, size_t length);

    int size = 0;                ///< N, the edge length from "LUT_3D_SIZE"
    std::vector<uint8_t> table;  ///< N^3 entries of red, green, blue, alpha (255)
    bool ok = false;             ///< true when the parse succeeded
    std::string error;           ///< why the parse failed, e.g. "row 17 is not three numbers (line 19)"

private:
    bool Parse(const char* text, size_t length);
    bool Fail(std::string reason);
};
