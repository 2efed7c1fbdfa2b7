#include "fit/svg_cost.h"

#include <gtest/gtest.h>

#include <string>

namespace kws {
namespace {

std::string Svg(const std::string& body, const std::string& size = "width='720' height='576'") {
  return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' " + size + ">" + body +
         "</svg>";
}

// A zigzag polyline of n points across the frame: 720 pixels a segment.
std::string Zigzag(int n, const std::string& stroke) {
  std::string points;
  for (int i = 0; i < n; ++i) points += (i % 2 ? "720," : "0,") + std::to_string(i % 576) + " ";
  return "<polyline fill='none' stroke='red' " + stroke + " points='" + points + "'/>";
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct CostCase {
  const char* name;
  std::string svg;
  SvgCost expected;
};

TEST(SvgCost, CountsWhatTheRasterizerIsHanded) {
  const CostCase cases[] = {
      {"plain shapes", Svg("<rect width='720' height='576' fill='#334'/><circle cx='9' cy='9' r='5'/>"), {3, 0, 0, 0}},
      // 10 pixels of line, dashed "1 1": 5 dashes; an odd list repeats.
      {"dashed line", Svg("<line x1='0' y1='0' x2='10' y2='0' stroke='red' stroke-dasharray='1 1'/>"), {2, 5, 0, 0}},
      {"odd dash list", Svg("<line x2='12' stroke='red' stroke-dasharray='1'/>"), {2, 6, 0, 0}},
      {"dashes of a path", Svg("<path d='M0 0 h10 v10 z' stroke='red' style='stroke-dasharray:2,2'/>"), {2, 9, 0, 0}},
      {"no stroke, no dashes", Svg("<line x2='10' stroke-dasharray='1 1'/>"), {2, 0, 0, 0}},
      {"stroke none", Svg("<g stroke='red'><line x2='10' stroke='none' stroke-dasharray='1 1'/></g>"), {3, 0, 0, 0}},
      {"inherited dashes",
       Svg("<g stroke='red' stroke-dasharray='1 1'><line x2='10'/><line x2='10'/></g>"),
       {4, 10, 0, 0}},
      {"zero period is solid", Svg("<line x2='10' stroke='red' stroke-dasharray='0 0'/>"), {2, 0, 0, 0}},
      // A wide stroke: length x width.
      {"wide stroke", Svg("<line x2='100' stroke='red' stroke-width='20'/>"), {2, 0, 2000, 0}},
      {"thin stroke", Svg("<line x2='100' stroke='red' stroke-width='1'/>"), {2, 0, 0, 0}},
      {"scaled by a transform",
       Svg("<g transform='scale(2)'><line x2='100' stroke='red' stroke-width='10'/></g>"),
       {3, 0, 4000, 0}},
      // A 7200-pixel-wide SVG is drawn a tenth as large.
      {"drawn smaller",
       Svg("<line x2='1000' stroke='red' stroke-width='100'/>", "width='7200' height='5760'"),
       {2, 0, 1000, 0}},
      {"view box",
       Svg("<line x2='10' stroke='red' stroke-width='2'/>", "width='720' height='576' viewBox='0 0 72 57.6'"),
       {2, 0, 2000, 0}},
      {"filters", Svg("<rect filter='url(#f)' width='9' height='9'/><rect style='filter:url(#f)'/>"), {3, 0, 0, 2}},
      // What a <use> draws counts once for each use; what <defs> holds counts
      // as elements only.
      {"use",
       Svg("<defs><line id='l' x2='10' stroke='red' stroke-dasharray='1 1'/></defs>"
           "<use xlink:href='#l'/><use href='#l'/>"),
       {7, 10, 0, 0}},
      {"use before its element",
       Svg("<use href='#l'/><line id='l' x2='10' stroke='red' stroke-dasharray='1 1'/>"),
       {4, 10, 0, 0}},
      {"comments and declarations",
       Svg("<!-- <line x2='10' stroke='red' stroke-dasharray='1 1'/> --><![CDATA[<g>]]>"),
       {1, 0, 0, 0}},
  };
  for (const CostCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SvgCost cost = CountSvgCost(c.svg);
    EXPECT_EQ(cost.elements, c.expected.elements);
    EXPECT_EQ(cost.dashes, c.expected.dashes);
    EXPECT_EQ(cost.stroke_area, c.expected.stroke_area);
    EXPECT_EQ(cost.filters, c.expected.filters);
  }
}

TEST(SvgCost, RefusesInTheToolsWords) {
  struct Refusal {
    const char* name;
    std::string svg;
    const char* counted;  // empty: drawn
  };
  // Each use of a group of ten uses of a group of ten... multiplies.
  std::string fan = Svg("<defs><line id='u0' x2='1'/>");
  for (int level = 1; level <= 8; ++level) {
    fan += "<g id='u" + std::to_string(level) + "'>" +
           Repeated("<use href='#u" + std::to_string(level - 1) + "'/>", 10) + "</g>";
  }
  fan += "</defs><use href='#u8'/></svg>";
  const Refusal cases[] = {
      // The polyline of 2,000 points that took Qt minutes.
      {"dashed polyline", Svg(Zigzag(2000, "stroke-width='20' stroke-dasharray='1 1'")), "dashes)"},
      {"wide polyline", Svg(Zigzag(2000, "stroke-width='20'")), "square pixels of wide strokes"},
      {"many paths", Svg(Repeated("<path d='M1 1 l5 5 l-5 2z' fill='red'/>", 40000)), "40,001 elements"},
      {"use fan-out", fan, "elements"},
      {"use loop", Svg("<g id='a'><use href='#a'/></g>"), "countless elements"},
      {"many filters", Svg(Repeated("<rect filter='url(#f)'/>", 40)), "40 filters"},
      {"small dashed drawing", Svg(Zigzag(8, "stroke-width='4' stroke-dasharray='4 4'")), ""},
      {"many small paths", Svg(Repeated("<path d='M1 1 l5 5 l-5 2z' fill='red'/>", 20000)), ""},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> why = SvgDrawingRefusal(c.svg);
    if (std::string(c.counted).empty()) {
      EXPECT_FALSE(why) << *why;
      continue;
    }
    ASSERT_TRUE(why);
    EXPECT_EQ(why->rfind("this drawing is too complex to draw here (", 0), 0u) << *why;
    EXPECT_NE(why->find(c.counted), std::string::npos) << *why;
    EXPECT_NE(why->find("); simplify it or export it as a PNG"), std::string::npos) << *why;
  }
}

// Broken or hostile text is counted without fault, as far as it goes.
TEST(SvgCost, TakesAnyText) {
  const std::string texts[] = {"",
                               "<",
                               "<svg",
                               "<svg width='",
                               "<!DOCTYPE svg [<!ENTITY a '<line/>'>]><svg/>",
                               Svg("<path d='M 1e999 1e999 L -1e999 0 A 1e308 1e308 0 1 1 5 5 C'/>"),
                               Svg("<line x2='1e308' stroke='red' stroke-width='1e308' stroke-dasharray='1e-300'/>"),
                               Svg("<g transform='matrix(1e200 0 0 1e200 0 0) skewX(90)'><line x2='1'/></g>"),
                               std::string(1000, '<') + Repeated("</g>", 1000)};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 60));
    const SvgCost cost = CountSvgCost(text);
    EXPECT_LE(cost.elements, 2000u);
  }
}

}  // namespace
}  // namespace kws
