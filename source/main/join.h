// Joining the pieces of a capture split over several machines: each piece's video says which frames
// of which capture it holds; the join checks that the pieces are one whole, puts them end to end
// without re-encoding and lays the music of the whole span under them once.
#pragma once

#include <string>
#include <vector>

#include "main/frameRange.h"

/// What a piece of a split capture holds, written into its container's comment by the capture.
struct PieceLabel {
    FrameRange frames;  ///< of the capture
    int64_t total = 0;  ///< frames of the whole capture
    FrameRate rate;
    double from = 0;    ///< music time of the capture's frame 0
    std::string music;  ///< the show's music file ("" for none)
};

/// The label as one line of text.
std::string FormatPieceLabel(const PieceLabel& label);

/// Reads a label written by FormatPieceLabel; false for any other text.
bool ParsePieceLabel(const std::string& text, PieceLabel& label);

/// A piece file and what it holds.
struct Piece {
    std::string path;
    PieceLabel label;
};

/// Puts `pieces` in frame order and checks that they cover the capture's frames once, from the first
/// to the last, and belong to the same capture; "" when they do, else what is wrong, naming the piece.
std::string OrderPieces(std::vector<Piece>& pieces);

/// Joins `pieces` into `output` (a video file), in the show's folder for its music; the exit code
/// (0 on success, 1 with a message on standard error otherwise; `output` is then left as it was).
int RunJoin(const std::string& output, const std::vector<std::string>& pieces);
