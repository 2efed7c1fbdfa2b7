#include "ui/verdict.h"

#include <cctype>

#include "fileio/file.h"

namespace kws {

namespace {

constexpr const char* kDash = " \u2014 ";

std::string Capitalized(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

// The same facts as the command line's verdict line (the inspector's
// recognition, receiver and colours), worded as a dialog's headline.
Verdict MakeVerdict(const std::string& path, const InspectReport& report) {
  Verdict verdict;
  std::string details = PrintableName(path) + "\n";
  for (const std::string& line : ReportText(report)) details.append("\n").append(PrintableName(line));
  verdict.details = QString::fromStdString(details);
  std::string headline;
  if (report.Sound()) {
    verdict.kind = Verdict::Kind::kSound;
    headline = "Sound: " + ImageKindText(report.kind);
    if (report.model) {
      headline += std::string(" for ") + report.model->receiver + " (" + report.model->serial_model + " serial)";
    }
    if (report.picture) {
      headline += ", picture " + std::to_string(report.picture->width) + " \u00D7 " +
                  std::to_string(report.picture->height) + ", " + std::to_string(report.picture->palette.size()) +
                  " colours";
    }
    const bool flashable = report.kind == ImageKind::kSerial || report.kind == ImageKind::kUsb;
    headline += kDash + std::string(flashable ? "safe to flash" : "a step on the way, not an image to flash");
  } else if (report.looks_like == "a Windows bitmap") {
    verdict.kind = Verdict::Kind::kNotAnImage;
    headline = "This is a bitmap, not an update image";
  } else if (!report.looks_like.empty()) {
    verdict.kind = Verdict::Kind::kNotAnImage;
    headline = "This is " + report.looks_like + ", not an update image";
  } else if (report.unreadable) {
    verdict.kind = Verdict::Kind::kNotAnImage;
    headline = "Cannot be read: " + PrintableName(report.fault);
  } else if (report.fault.rfind("file: format:", 0) == 0) {
    verdict.kind = Verdict::Kind::kNotAnImage;
    headline = "This is not an update image";
  } else {
    verdict.kind = Verdict::Kind::kDamaged;
    headline = "Damaged" + std::string(kDash) + "do not flash: " + PrintableName(report.fault);
  }
  verdict.headline = QString::fromStdString(Capitalized(headline));
  return verdict;
}

}  // namespace kws
