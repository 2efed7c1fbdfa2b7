#include <algorithm>

#include "driver/driver.h"
#include "fileio/file.h"

namespace kws {

namespace {

std::string FileNames(const std::vector<std::string>& paths) {
  std::string names;
  for (const std::string& path : paths) {
    if (!names.empty()) names += ", ";
    const size_t slash = path.find_last_of('/');
    names += PrintableName(slash == std::string::npos ? path : path.substr(slash + 1));
  }
  return names;
}

std::string Images(size_t count) { return std::to_string(count) + (count == 1 ? " image" : " images"); }

}  // namespace

ImagesLeft ImagesLeftBy(const std::string& output_folder, const std::string& base_name,
                        const std::vector<std::string>& made) {
  ImagesLeft left;
  for (const OutputImage& image : OutputImages(output_folder, base_name)) {
    if (std::find(made.begin(), made.end(), image.path) != made.end()) {
      left.made.push_back(image.path);
    } else if (FileExists(image.path)) {
      left.older.push_back(image.path);
    }
  }
  return left;
}

std::string ImagesLeftText(const ImagesLeft& left) {
  const std::string made = "this run made " + Images(left.made.size()) + " of it before it failed";
  const std::string older =
      "Output still holds " + Images(left.older.size()) + " of its names from an earlier run, not of this picture";
  if (left.older.empty()) return left.made.empty() ? std::string() : made + ": " + FileNames(left.made);
  if (left.made.empty()) return older + ": " + FileNames(left.older);
  return made + " (" + FileNames(left.made) + "); " + older + " (" + FileNames(left.older) +
         ") \u2014 they are not one set, do not flash them together";
}

}  // namespace kws
