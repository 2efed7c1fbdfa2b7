#include "fit/svg_cost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>
#include <vector>

#include "fit/svg_geometry.h"
#include "format/number_text.h"

namespace kws {

namespace {

using namespace svg;

// The receivers' frame: an SVG is drawn no larger than this (wider for a
// picture that fills it).
constexpr double kFrameWidth = 720;
constexpr double kFrameHeight = 576;
// Qt's SVG reader takes a document without a size as 100 x 100.
constexpr double kDefaultSide = 100;
// A <use> chain is followed this many levels back in the document; one
// deeper (or a loop, which draws nothing) counts as over every limit.
constexpr int kUsePasses = 32;

constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max() / 4;

uint64_t AddSaturated(uint64_t a, uint64_t b) { return std::min(kSaturated, a + std::min(b, kSaturated)); }

uint64_t ToCount(double value) {
  if (!(value > 0)) return 0;
  if (value >= static_cast<double>(kSaturated)) return kSaturated;
  return static_cast<uint64_t>(std::ceil(value));
}

void Add(SvgCost& to, const SvgCost& cost) {
  to.elements = AddSaturated(to.elements, cost.elements);
  to.dashes = AddSaturated(to.dashes, cost.dashes);
  to.stroke_area = AddSaturated(to.stroke_area, cost.stroke_area);
  to.filters = AddSaturated(to.filters, cost.filters);
}

// An element's attributes, and the declarations of its style attribute.
struct Attributes {
  std::vector<std::pair<std::string_view, std::string_view>> list;

  std::optional<std::string_view> Get(std::string_view name) const {
    for (const auto& [key, value] : list) {
      if (key == name) return value;
    }
    return std::nullopt;
  }
  double Number(std::string_view name, double fallback = 0) const {
    const std::optional<std::string_view> value = Get(name);
    return value ? Length(*value, fallback) : fallback;
  }
};

// "stroke:red; stroke-width:20" as further attributes, which win over the
// element's own.
void AddStyle(std::string_view style, Attributes& attributes) {
  size_t pos = 0;
  while (pos < style.size()) {
    size_t end = style.find(';', pos);
    if (end == std::string_view::npos) end = style.size();
    const std::string_view declaration = style.substr(pos, end - pos);
    pos = end + 1;
    const size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    const auto trim = [](std::string_view s) {
      while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
      while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
      return s;
    };
    attributes.list.insert(attributes.list.begin(),
                           {trim(declaration.substr(0, colon)), trim(declaration.substr(colon + 1))});
  }
}

// How a stroke is drawn, as its element inherits it.
struct Stroke {
  bool on = false;
  double width = 1;        // user units
  double dash_period = 0;  // user units; none when 0
  double dashes_a_period = 0;
  double scale = 1;  // frame pixels a user unit
};

// The stroke an element draws with, from the one it inherits.
Stroke StrokeOf(const Attributes& attributes, Stroke stroke) {
  if (const auto paint = attributes.Get("stroke")) stroke.on = *paint != "none" && !paint->empty();
  if (const auto width = attributes.Get("stroke-width")) stroke.width = Length(*width, 1);
  if (const auto dashes = attributes.Get("stroke-dasharray")) {
    NumberReader reader(*dashes);
    std::vector<double> values;
    while (const std::optional<double> value = reader.Next()) {
      values.push_back(*value);
      reader.Unit();
    }
    double period = 0;
    bool valid = !values.empty();
    for (const double value : values) valid = valid && value >= 0, period += value;
    // An odd list is repeated to make it even.
    const size_t entries = values.size() % 2 ? values.size() * 2 : values.size();
    if (values.size() % 2) period *= 2;
    stroke.dash_period = valid && period > 0 ? period : 0;
    stroke.dashes_a_period = static_cast<double>(entries / 2);
  }
  if (const auto transform = attributes.Get("transform")) stroke.scale *= TransformScale(*transform);
  return stroke;
}

// The outline an element's own shape strokes.
Outline ShapeOutline(std::string_view name, const Attributes& a) {
  if (name == "path") return PathOutline(a.Get("d").value_or(""));
  if (name == "polyline" || name == "polygon") return PointsOutline(a.Get("points").value_or(""), name == "polygon");
  if (name == "line") {
    return {Distance({a.Number("x1"), a.Number("y1")}, {a.Number("x2"), a.Number("y2")})};
  }
  if (name == "rect") return {2 * (a.Number("width") + a.Number("height"))};
  if (name == "circle") return {2 * M_PI * a.Number("r")};
  if (name == "ellipse") return {2 * M_PI * std::max(a.Number("rx"), a.Number("ry"))};
  return {};
}

SvgCost StrokeCost(const Outline& outline, const Stroke& stroke) {
  SvgCost cost;
  if (!stroke.on || !(outline.length > 0)) return cost;
  if (stroke.dash_period > 0) {
    cost.dashes = ToCount(outline.length / stroke.dash_period * stroke.dashes_a_period);
  }
  const double width = stroke.width * stroke.scale;
  if (width > 1) cost.stroke_area = ToCount(outline.length * stroke.scale * width);
  return cost;
}

// The elements whose content is drawn only where something refers to it.
bool DrawsOnlyWhenReferred(std::string_view name) {
  static constexpr std::string_view kNames[] = {"defs",    "symbol",         "clipPath",       "mask",         "marker",
                                                "pattern", "linearGradient", "radialGradient", "filter",       "style",
                                                "title",   "desc",           "metadata",       "foreignObject"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

struct Node {
  uint32_t parent = 0;  // the root is its own
  bool hidden = false;  // drawn only where referred to
  SvgCost own;
  std::string_view refers;  // the id a <use> draws
  Stroke stroke;            // for the children
};

// The document's elements in order, each with what it draws itself.
class Scanner {
 public:
  explicit Scanner(std::string_view svg) : svg_(svg) {}

  // False once the elements are over their limit.
  bool Scan() {
    size_t pos = 0;
    while ((pos = svg_.find('<', pos)) != std::string_view::npos) {
      if (Starts(pos, "<!--")) {
        pos = After(pos, "-->");
      } else if (Starts(pos, "<![CDATA[")) {
        pos = After(pos, "]]>");
      } else if (Starts(pos, "<?")) {
        pos = After(pos, "?>");
      } else if (Starts(pos, "<!")) {
        pos = AfterDeclaration(pos);
      } else if (Starts(pos, "</")) {
        if (open_.size() > 1) open_.pop_back();
        pos = After(pos, ">");
      } else {
        pos = StartTag(pos + 1);
      }
    }
    return elements_ <= kMaxSvgElements;
  }

  uint64_t elements() const { return elements_; }

  std::vector<Node>& nodes() { return nodes_; }
  const std::unordered_map<std::string_view, uint32_t>& ids() const { return ids_; }

 private:
  bool Starts(size_t pos, std::string_view text) const { return svg_.substr(pos, text.size()) == text; }
  size_t After(size_t pos, std::string_view text) const {
    const size_t found = svg_.find(text, pos);
    return found == std::string_view::npos ? svg_.size() : found + text.size();
  }
  // A <!DOCTYPE ...> with its internal subset in brackets.
  size_t AfterDeclaration(size_t pos) const {
    int depth = 0;
    for (; pos < svg_.size(); ++pos) {
      const char c = svg_[pos];
      if (c == '[') ++depth;
      if (c == ']') --depth;
      if (c == '>' && depth <= 0) return pos + 1;
    }
    return pos;
  }

  // Reads the tag from pos (after its '<'); returns where it ends.
  size_t StartTag(size_t pos) {
    const size_t name_start = pos;
    while (pos < svg_.size() && !IsSpace(svg_[pos]) && svg_[pos] != '>' && svg_[pos] != '/') ++pos;
    std::string_view name = svg_.substr(name_start, pos - name_start);
    if (const size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
    Attributes attributes;
    bool closed = false;
    while (pos < svg_.size()) {
      while (pos < svg_.size() && IsSpace(svg_[pos])) ++pos;
      if (pos >= svg_.size()) break;
      if (svg_[pos] == '>') {
        ++pos;
        break;
      }
      if (svg_[pos] == '/') {
        closed = true;
        ++pos;
        continue;
      }
      const size_t key_start = pos;
      while (pos < svg_.size() && svg_[pos] != '=' && !IsSpace(svg_[pos]) && svg_[pos] != '>') ++pos;
      std::string_view key = svg_.substr(key_start, pos - key_start);
      while (pos < svg_.size() && IsSpace(svg_[pos])) ++pos;
      if (pos >= svg_.size() || svg_[pos] != '=') continue;
      ++pos;
      while (pos < svg_.size() && IsSpace(svg_[pos])) ++pos;
      if (pos >= svg_.size() || (svg_[pos] != '"' && svg_[pos] != '\'')) continue;
      const char quote = svg_[pos++];
      const size_t end = std::min(svg_.find(quote, pos), svg_.size());
      if (key == "xlink:href") key = "href";
      attributes.list.emplace_back(key, svg_.substr(pos, end - pos));
      pos = end + 1;
    }
    if (const auto style = attributes.Get("style")) AddStyle(*style, attributes);
    Element(name, attributes, closed);
    return pos;
  }

  void Element(std::string_view name, const Attributes& attributes, bool closed) {
    // Past the limit only the count goes on.
    if (++elements_ > kMaxSvgElements) return;
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    Node node;
    node.parent = open_.empty() ? index : open_.back();
    if (open_.empty()) {
      node.stroke.scale = RootScale(attributes);
    } else {
      node.stroke = nodes_[node.parent].stroke;
    }
    node.stroke = StrokeOf(attributes, node.stroke);
    node.hidden = DrawsOnlyWhenReferred(name);
    node.own = StrokeCost(ShapeOutline(name, attributes), node.stroke);
    node.own.elements = 1;
    if (attributes.Get("filter").value_or("none") != "none") node.own.filters = 1;
    if (name == "use") {
      const std::string_view href = attributes.Get("href").value_or("");
      if (!href.empty() && href.front() == '#') node.refers = href.substr(1);
    }
    if (const auto id = attributes.Get("id")) ids_.emplace(*id, index);
    nodes_.push_back(node);
    if (!closed) open_.push_back(index);
  }

  // Frame pixels a user unit of the root: its size to the frame's (when it
  // is larger), its view box to its size.
  static double RootScale(const Attributes& a) {
    std::optional<double> box_width, box_height;
    if (const auto box = a.Get("viewBox")) {
      NumberReader reader(*box);
      reader.Next(), reader.Next();
      box_width = reader.Next();
      box_height = reader.Next();
    }
    const bool has_box = box_width && box_height && *box_width > 0 && *box_height > 0;
    const double width = a.Number("width", has_box ? *box_width : kDefaultSide);
    const double height = a.Number("height", has_box ? *box_height : kDefaultSide);
    if (!(width > 0) || !(height > 0)) return 1;
    // Filling the frame scales by the larger ratio, fitting by the smaller.
    const double drawn = std::min(1.0, std::max(kFrameWidth / width, kFrameHeight / height));
    const double box = has_box ? std::max(width / *box_width, height / *box_height) : 1;
    return drawn * box;
  }

  std::string_view svg_;
  uint64_t elements_ = 0;
  std::vector<Node> nodes_;
  std::vector<uint32_t> open_;
  std::unordered_map<std::string_view, uint32_t> ids_;
};

// Each element's cost with what it holds and what its <use> draws, children
// before parents (they come after them in the document); a <use> of an
// element further back waits for a later pass.
SvgCost TotalCost(std::vector<Node>& nodes, const std::unordered_map<std::string_view, uint32_t>& ids) {
  const size_t n = nodes.size();
  if (n == 0) return {};
  std::vector<SvgCost> total(n);
  std::vector<bool> known(n, false);
  std::vector<int32_t> target(n, -1);
  for (size_t i = 0; i < n; ++i) {
    if (nodes[i].refers.empty()) continue;
    if (const auto it = ids.find(nodes[i].refers); it != ids.end()) target[i] = static_cast<int32_t>(it->second);
  }
  for (int pass = 0; pass < kUsePasses; ++pass) {
    std::vector<SvgCost> sum(n);
    std::vector<bool> complete(n, true);
    for (size_t i = 0; i < n; ++i) sum[i] = nodes[i].own;
    for (size_t k = n; k-- > 0;) {
      if (target[k] >= 0) {
        const auto t = static_cast<size_t>(target[k]);
        if (known[t] && t != k) {
          Add(sum[k], total[t]);
        } else {
          complete[k] = false;
        }
      }
      total[k] = sum[k];
      known[k] = complete[k];
      const uint32_t parent = nodes[k].parent;
      if (parent == k) continue;
      if (!nodes[k].hidden) Add(sum[parent], sum[k]);
      if (!complete[k]) complete[parent] = false;
      // The element counts itself even where it draws nothing.
      if (nodes[k].hidden) sum[parent].elements = AddSaturated(sum[parent].elements, sum[k].elements);
    }
    if (std::all_of(known.begin(), known.end(), [](bool b) { return b; })) break;
  }
  SvgCost all;
  for (size_t i = 0; i < n; ++i) {
    if (nodes[i].parent != i) continue;
    if (!known[i]) return {kSaturated, 0, 0, 0};
    Add(all, total[i]);
  }
  return all;
}

}  // namespace

SvgCost CountSvgCost(std::string_view svg) {
  Scanner scanner(svg);
  if (!scanner.Scan()) return SvgCost{scanner.elements(), 0, 0, 0};
  return TotalCost(scanner.nodes(), scanner.ids());
}

std::optional<std::string> SvgTextTooLarge(uint64_t bytes) {
  if (bytes <= kMaxSvgTextBytes) return std::nullopt;
  return "at " + GroupDigits(bytes) + " bytes the SVG is too large: the import takes up to " +
         GroupDigits(kMaxSvgTextBytes);
}

std::string TooComplexText(const std::string& counted) {
  return "this drawing is too complex to draw here (" + counted + "); simplify it or export it as a PNG";
}

std::optional<std::string> TooComplexToDraw(const SvgCost& cost) {
  const auto over = [](uint64_t count, const char* what) {
    return TooComplexText((count >= kSaturated ? std::string("countless") : GroupDigits(count)) + " " + what);
  };
  if (cost.dashes > kMaxSvgDashes) return over(cost.dashes, "dashes");
  if (cost.elements > kMaxSvgElements) return over(cost.elements, "elements");
  if (cost.stroke_area > kMaxSvgStrokeArea) return over(cost.stroke_area, "square pixels of wide strokes");
  if (cost.filters > kMaxSvgFilters) return over(cost.filters, "filters");
  return std::nullopt;
}

std::optional<std::string> SvgDrawingRefusal(std::string_view svg) { return TooComplexToDraw(CountSvgCost(svg)); }

}  // namespace kws
