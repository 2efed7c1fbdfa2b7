#include "ui/outcome_text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"

namespace kws {

namespace {

constexpr const char* kDash = "\u2014";

std::string Remedied(const Diagnosis& why) {
  std::string text = PrintableName(why.plain);
  if (why.remedy != Remedy::kNone) text += " (File \u25B8 Import picture\u2026 converts it)";
  return text;
}

}  // namespace

std::string ShortFolder(const std::string& folder, const std::string& home) {
  const bool in_home = !home.empty() && home != "/" && (folder == home || folder.rfind(home + "/", 0) == 0);
  const std::string rest = in_home ? folder.substr(home.size()) : folder;
  std::vector<std::string> parts;
  for (size_t at = 0; at <= rest.size();) {
    const size_t slash = std::min(rest.find('/', at), rest.size());
    if (slash > at) parts.push_back(rest.substr(at, slash - at));
    at = slash + 1;
  }
  std::string shown;
  if (in_home) {
    shown = "~";
    if (parts.size() > 2) {
      shown += "/\u2026/" + parts.back();
    } else {
      for (const std::string& part : parts) shown += "/" + part;
    }
  } else if (parts.size() > 3 && !rest.empty() && rest.front() == '/') {
    shown = "/" + parts.front() + "/\u2026/" + parts.back();
  } else {
    shown = folder;
  }
  return PrintableName(shown);
}

std::string ShownName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return PrintableName(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string MadeText(const std::string& output_folder, const std::string& home) {
  return "6 images in " + ShortFolder(output_folder, home);
}

std::string FailedText(const std::string& picture, const Diagnosis& why) {
  return "failed: " + ShownName(picture) + " " + kDash + " " + Remedied(why);
}

std::string BatchText(int made, int failed, int total, const std::string& stopped) {
  std::string text =
      std::to_string(made) + " of " + std::to_string(total) + (total == 1 ? " picture" : " pictures") + " made";
  if (failed > 0) text += ", " + std::to_string(failed) + " failed";
  if (!stopped.empty()) text += ", " + PrintableName(stopped);
  return text;
}

std::string ProgressText(int index, int total, const std::string& picture) {
  return std::to_string(index) + " of " + std::to_string(total) + ": " + ShownName(picture);
}

std::string NothingOpenedText(int bitmaps, const std::string& input_folder) {
  const std::string input = "Input (" + PrintableName(input_folder) + ")";
  if (bitmaps == 0) return "No picture opened, and " + input + " is empty: open a picture or put bitmaps there";
  if (bitmaps == 1) return "No picture opened: the button converts the bitmap in " + input;
  return "No picture opened: the button converts the " + std::to_string(bitmaps) + " bitmaps in " + input;
}

std::string CannotShowText(const std::string& picture, const std::string& reason) {
  return "cannot show " + ShownName(picture) + ": " + PrintableName(reason) + " " + kDash +
         " the button will still try to convert it";
}

std::string GoneText(const std::string& picture) { return ShownName(picture) + " no longer exists"; }

std::string PreviewShowsImageText(const std::string& image, const std::string& opened, int input_bitmaps) {
  std::string text = "The preview shows the picture inside " + ShownName(image) + "; the button converts ";
  if (!opened.empty()) return text + ShownName(opened);
  if (input_bitmaps == 1) return text + "the bitmap in Input";
  return text + "the " + std::to_string(input_bitmaps) + " bitmaps in Input";
}

int CountInputBitmaps(const std::string& input_folder) {
  int count = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(input_folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.' || !HasBmpExtension(name)) continue;
    std::error_code type_ec;
    if (std::filesystem::is_regular_file(it->path(), type_ec)) ++count;
  }
  return count;
}

}  // namespace kws
