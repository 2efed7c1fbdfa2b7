#include "ui/verdict.h"

#include <QFile>
#include <QImageReader>
#include <array>
#include <set>

#include "driver/driver.h"
#include "fileio/file.h"
#include "steps/receiver_models.h"

namespace kws {

namespace {

constexpr const char* kDash = " \u2014 ";

// The receiver users know ("borvik200") whose serial image carries this model name.
std::string ReceiverOfSerialModel(const std::string& serial_model) {
  for (const OutputImage& image : OutputImages("", "")) {
    if (image.serial_model == serial_model) return image.receiver;
  }
  return {};
}

// The text between the first pair of quotes after "model name ".
std::string QuotedModelName(const std::string& line) {
  const size_t open = line.find("model name \"");
  if (open == std::string::npos) return {};
  const size_t from = open + 12;
  const size_t close = line.find('"', from);
  return close == std::string::npos ? std::string() : line.substr(from, close - from);
}

// "USB update image: model mkusbimg200, ..." -> the model's serial model name.
std::string SerialModelOfUsbLine(const std::string& line) {
  for (const UsbModel& model : kUsbModels) {
    if (line.find("model " + std::string(model.step) + ",") != std::string::npos) return model.serial_model;
  }
  return {};
}

// What the outermost layer is, for whom: "USB update image for borvik200 (kestro100s serial)".
std::string WhatItIs(const InspectReport& report, bool* flashable) {
  *flashable = false;
  const std::string& outer = report.layers.empty() ? std::string() : report.layers.front();
  const auto starts = [&](const char* prefix) { return outer.rfind(prefix, 0) == 0; };
  if (starts("serial update image:")) {
    *flashable = true;
    const std::string name = QuotedModelName(outer);
    const std::string receiver = ReceiverOfSerialModel(name);
    return "serial update image for " + (receiver.empty() ? "model " + name : receiver) + " (model name " + name + ")";
  }
  if (starts("USB update image:")) {
    *flashable = true;
    const std::string serial = SerialModelOfUsbLine(outer);
    const std::string receiver = ReceiverOfSerialModel(serial);
    return "USB update image for " + (receiver.empty() ? std::string("an unknown receiver") : receiver) + " (" +
           serial + " serial)";
  }
  if (starts("partition image:")) return "partition image";
  if (starts("welcome image:")) return "welcome image";
  return "file";
}

int ColoursUsed(const Picture8& picture) {
  std::array<bool, 256> used{};
  for (const uint8_t index : picture.pixels) used[index] = true;
  std::set<std::array<uint8_t, 3>> colours;
  for (size_t i = 0; i < used.size() && i < picture.palette.size(); ++i) {
    if (used[i]) colours.insert({picture.palette[i].r, picture.palette[i].g, picture.palette[i].b});
  }
  return static_cast<int>(colours.size());
}

// What a file that is no update image looks like instead.
std::string LooksLike(const std::string& path, const std::string& fault) {
  const QByteArray format = QImageReader::imageFormat(QFile::decodeName(QByteArray::fromStdString(path)));
  if (format == "bmp") return "this is a bitmap, not an update image";
  if (!format.isEmpty()) return "this is a " + format.toUpper().toStdString() + " picture, not an update image";
  if (fault.find("found 0 bytes") != std::string::npos) return "this file is empty, not an update image";
  return "this is not an update image";
}

}  // namespace

Verdict MakeVerdict(const std::string& path, const InspectReport& report) {
  Verdict verdict;
  std::string details = PrintableName(path) + "\n";
  for (const std::string& line : ReportText(report)) details += "\n" + PrintableName(line);
  verdict.details = QString::fromStdString(details);
  if (report.Sound()) {
    bool flashable = false;
    std::string headline = "Sound: " + WhatItIs(report, &flashable);
    if (report.picture) {
      headline += ", picture " + std::to_string(report.picture->width) + " \u00D7 " +
                  std::to_string(report.picture->height) + ", " + std::to_string(ColoursUsed(*report.picture)) +
                  " colours";
    }
    headline += flashable ? std::string(kDash) + "safe to flash"
                          : std::string(kDash) + "a step on the way, not an image to flash";
    verdict.kind = Verdict::Kind::kSound;
    verdict.headline = QString::fromStdString(headline);
    return verdict;
  }
  // Nothing an update image could be: no layer found, or larger than any.
  if (report.fault.rfind("file: format:", 0) == 0 || report.fault.rfind("file: too large:", 0) == 0) {
    verdict.kind = Verdict::Kind::kNotAnImage;
    std::string looks = LooksLike(path, report.fault);
    looks[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(looks[0])));
    verdict.headline = QString::fromStdString(looks);
    return verdict;
  }
  if (report.fault.rfind("file:", 0) == 0) {
    verdict.kind = Verdict::Kind::kNotAnImage;
    verdict.headline = QString::fromStdString("Cannot check it: " + PrintableName(report.fault));
    return verdict;
  }
  verdict.kind = Verdict::Kind::kDamaged;
  verdict.headline = QString::fromStdString("Damaged" + std::string(kDash) + "do not flash: " +
                                            PrintableName(report.fault));
  return verdict;
}

}  // namespace kws
