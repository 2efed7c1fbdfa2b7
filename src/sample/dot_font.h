// A 5 x 7 dot font of capitals, digits and a few signs: enough for the
// texts the built-in pictures carry (the sample picture, the test card).
#pragma once

#include <array>
#include <string_view>

namespace kws {

struct DotGlyph {
  char c;
  std::array<std::string_view, 7> rows;  // 'X' for a lit dot
};

// Nothing for a space or a character the font lacks.
const DotGlyph* FindDotGlyph(char c);

// Characters stand 6 dots apart; the last one's gap is not counted.
inline int DotTextWidth(std::string_view text, int scale) { return static_cast<int>(text.size()) * 6 * scale - scale; }

// Calls dot(x, y) for the top-left corner of each lit dot of text set at
// (x, y), each dot a square of scale pixels; character by character.
template <class Dot>
void ForEachDot(std::string_view text, int x, int y, int scale, Dot&& dot) {
  for (char c : text) {
    if (const DotGlyph* g = FindDotGlyph(c)) {
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if (g->rows[row][col] == 'X') dot(x + col * scale, y + row * scale);
        }
      }
    }
    x += 6 * scale;
  }
}

}  // namespace kws
