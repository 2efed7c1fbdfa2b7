// What drawing an SVG costs, counted from its text before anything draws
// it, so that the window, the command line and the page refuse the same
// drawings whatever machine they run on. Drawing time grows with what the
// rasterizer is handed, not with the file's size: a 15 KB polyline of 2,000
// points, 20 pixels wide and dashed "1 1", is some 750,000 dashes and takes
// Qt's renderer minutes; the same polyline undashed still covers 15 million
// pixels of stroke, over 15 s. So four things are counted, each with its own
// limit:
//  - elements: every element of the document, what a <use> draws counted
//    again for each use (Qt holds some 4.5 KB for each while it draws; a
//    drawing of 111,000 short paths took 535 MB and 4.5 s);
//  - dashes: for each dashed stroke, its length over its dash pattern's
//    length, times the dashes in the pattern (some 150 us a dash here);
//  - stroke area: for strokes wider than a pixel as drawn, length times
//    width in pixels of the frame (a wide stroke's outline is filled with
//    its overlaps, some 1 us a square pixel here);
//  - filters: elements drawn through a filter, each an offscreen copy of the
//    frame.
// Lengths are in the pixels of the frame the SVG is drawn into: an SVG
// larger than the receivers' frame is drawn at the frame's size, a smaller
// one at its own. A path's curves count as long as their control polygon,
// which is never shorter. What a style sheet sets is not counted; the
// drawing's own time and memory limits stand behind this count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kws {

struct SvgCost {
  uint64_t elements = 0;
  uint64_t dashes = 0;
  uint64_t stroke_area = 0;  // square pixels of strokes wider than a pixel
  uint64_t filters = 0;
};

// The limits: each about a second or two of Qt's drawing on a 2020s PC, and
// well within the import's memory; a logo, a diagram or a map drawn for a
// TV stays far below them.
inline constexpr uint64_t kMaxSvgElements = 30'000;
inline constexpr uint64_t kMaxSvgDashes = 10'000;
inline constexpr uint64_t kMaxSvgStrokeArea = 2'000'000;
inline constexpr uint64_t kMaxSvgFilters = 32;

// The most an SVG may take as text, unpacked: Qt holds the whole document,
// with several times its size in nodes, while it draws it.
inline constexpr uint64_t kMaxSvgTextBytes = uint64_t{8} << 20;

// Why an SVG text of so many bytes is not drawn; nothing when it may be.
std::optional<std::string> SvgTextTooLarge(uint64_t bytes);

// The cost of drawing the SVG text svg. Counting stops once the elements
// are over their limit: the count then is over it, not the whole.
SvgCost CountSvgCost(std::string_view svg);

// "this drawing is too complex to draw here (750,000 dashes); simplify it
// or export it as a PNG" when a count is over its limit; nothing otherwise.
std::optional<std::string> TooComplexToDraw(const SvgCost& cost);

// Both: why the SVG text svg is not drawn, or nothing.
std::optional<std::string> SvgDrawingRefusal(std::string_view svg);

// The words of TooComplexToDraw for what was counted: "750,000 dashes".
std::string TooComplexText(const std::string& counted);

}  // namespace kws
