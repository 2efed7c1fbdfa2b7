#include "ui/extra_actions.h"

#include <zlib.h>

#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <exception>

#include "driver/diagnosis.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "fit/bitmap_file.h"
#include "fit/tv_test_card.h"
#include "inspect/extract.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "ui/artwork.h"
#include "ui/log_panel.h"
#include "ui/outcome_field.h"
#include "ui/outcome_text.h"
#include "ui/picture_kind.h"
#include "ui/tform1.h"
#include "ui/tv_view.h"
#include "ui/verdict.h"
#include "ui/window_support.h"

namespace kws {

namespace {

const QString kCheckTitle = QStringLiteral("Check update image");
const QString kCheckFilter = QStringLiteral("Update images (*.img);;All files (*)");
const QString kExtractTitle = QStringLiteral("Extract picture from update image");
const QString kExtractSaveTitle = QStringLiteral("Save the picture as a bitmap");

const QString kImportTitle = QStringLiteral("Select a picture to import (any format, size and colours)");
const QString kTestCardTitle = QStringLiteral("Open TV test card");
constexpr const char* kTestCardName = "test-card.bmp";

const QString kImportDisplayKey = QStringLiteral("import/display");
const QString kImportSafeKey = QStringLiteral("import/safe");
const QString kImportDitherKey = QStringLiteral("import/dither");

}  // namespace

// Shows the verdict, and the picture inside a sound image in the preview; the
// opened picture stays what it was, and the second field says so.
void ExtraActions::CheckImage1Click() {
  const auto chosen = form_.AskOpen("check", kCheckTitle, kCheckFilter, QStringLiteral("img"));
  if (!chosen) return;
  const std::string path = LocalName(*chosen);
  const InspectReport report = InspectFile(path);
  if (report.picture) {
    form_.tv_view_->Show(PictureImage(*report.picture), report.picture);
    form_.outcome_->Set(
        PreviewShowsImageText(path, form_.driver_->OpenedPicture(), CountInputBitmaps(form_.startup_.folders.input)));
  }
  form_.dialogs_->ShowVerdict(&form_, kCheckTitle, MakeVerdict(path, report));
}

void ExtraActions::ExtractPicture1Click() {
  const auto chosen = form_.AskOpen("extract", kExtractTitle, kCheckFilter, QStringLiteral("img"));
  if (!chosen) return;
  const std::string path = LocalName(*chosen);
  const InspectReport report = InspectFile(path);
  if (!report.picture) {
    const Verdict verdict = MakeVerdict(path, report);
    form_.dialogs_->ShowMessage(&form_, kExtractTitle, QStringLiteral("No picture to extract: ") + verdict.headline);
    return;
  }
  const QString setting = QStringLiteral("folders/extract-save");
  QString folder = Settings()->value(setting).toString();
  if (folder.isEmpty()) folder = ShownPath(form_.startup_.folders.input);
  const QString suggested = folder + QLatin1Char('/') + ShownPath(BaseName(path)) + QStringLiteral(".bmp");
  const auto target = form_.dialogs_->GetSaveFileName(&form_, kExtractSaveTitle, kBitmapFilter, suggested);
  if (!target) return;
  Settings()->setValue(setting, QFileInfo(*target).absolutePath());
  const std::string out = LocalName(*target);
  const DestinationCheck check = CheckDestination(out, {path}, MadeFor::kExtract);
  const std::string into = ShownName(LocalName(QFileInfo(*target).absolutePath()));
  if (!MayWrite(out, check, kExtractTitle, into, "the extracted picture")) return;
  WrittenTo written;
  try {
    written = ExtractPicture(path, *report.picture, out, check);
  } catch (const std::exception& e) {
    form_.ShowMessage(WriteFailureText(out, e));
    return;
  }
  SetOutcomeOfWrite("picture of " + ShownName(path) + " written to " + PrintableName(written.name), out, check,
                    written);
}

void ExtraActions::Import1Click() {
  const auto chosen = form_.AskOpen("import", kImportTitle, ImportFilter(), QString());
  if (chosen) ImportWithOptions(*chosen);
}

ImportOptions ExtraActions::RememberedImportOptions() const {
  const auto settings = Settings();
  // For a 4:3 TV unless told otherwise, as the command line imports.
  ImportOptions options = TvImportOptions(StoredChoice(*settings, kImportDisplayKey, ParseDisplay, Display::k4x3),
                                          StoredChoice(*settings, kImportSafeKey, ParseSafeArea, SafeArea::kNone));
  options.fill = settings->value(QStringLiteral("import/fill"), false).toBool();
  options.dither = StoredChoice(*settings, kImportDitherKey, ParseDitherKind, DitherKind::kAuto);
  const QColor background(settings->value(QStringLiteral("import/background"), QStringLiteral("#000000")).toString());
  if (background.isValid()) {
    options.background = {static_cast<uint8_t>(background.red()), static_cast<uint8_t>(background.green()),
                          static_cast<uint8_t>(background.blue())};
  }
  return options;
}

void ExtraActions::ImportWithOptions(const QString& path, ImportTo to) {
  const auto choice = form_.dialogs_->GetImport(&form_, path, RememberedImportOptions());
  if (!choice) return;
  const ImportOptions& options = choice->options;
  const auto settings = Settings();
  settings->setValue(QStringLiteral("import/fill"), options.fill);
  settings->setValue(QStringLiteral("import/background"),
                     QColor(options.background.r, options.background.g, options.background.b).name());
  settings->setValue(kImportDisplayKey, QString::fromStdString(DisplayName(options.display)));
  settings->setValue(kImportSafeKey, QString::fromStdString(SafeAreaName(options.safe)));
  settings->setValue(kImportDitherKey, QString::fromStdString(DitherKindName(options.dither)));
  ImportPicture(path, options, choice->imported ? &*choice->imported : nullptr, to);
}

void ExtraActions::ImportPicture(const QString& path, const ImportOptions& options, const ImportedPicture* made,
                                 ImportTo to) {
  const std::string picture = LocalName(path);
  const bool into_input = to == ImportTo::kInput;
  const std::string folder = into_input ? form_.startup_.folders.input : LocalName(QFileInfo(path).absolutePath());
  const std::string place = into_input ? std::string("Input") : PrintableName(folder);
  std::string bitmap = folder + "/" + BaseName(picture) + ".bmp";
  DestinationCheck target = CheckDestination(bitmap, {picture}, MadeFor::kImport);
  const bool beside = target.standing == Standing::kInput;
  if (beside) {
    bitmap = FreeName(bitmap);
    target = {};
  }
  if (!MayWrite(bitmap, target, QStringLiteral("Import picture"), place, "the imported picture")) {
    form_.outcome_->Set("not imported: " + ShownName(bitmap) + " in " + place + " is kept");
    return;
  }
  ImportReport report;
  WrittenTo written;
  try {
    struct BusyCursor {
      explicit BusyCursor(TForm1& form) : form(form) { form.SetBusyCursor(true); }
      ~BusyCursor() { form.SetBusyCursor(false); }
      TForm1& form;
    } busy(form_);
    // What the dialog showed is what is written.
    report = made ? WriteImportLogged(picture, bitmap, *made, target, &written)
                  : ImportPictureLogged(picture, bitmap, options, target, &written);
  } catch (const std::exception& e) {
    form_.ShowMessage(WriteFailureText(bitmap, e));
    return;
  }
  // A picture made for a TV is shown as that TV shows it.
  if (options.for_tv) form_.tv_view_->ShowAs(options.display);
  form_.OpenPictureFile(written.name);
  ShowImportReport(picture, written.name, report);
  const std::string kept =
      beside ? ShownName(picture) + " itself stays as it was; imported as " + ShownName(bitmap) : std::string();
  SetOutcomeOfWrite(kept, bitmap, target, written);
}

// The summary on the status line, the whole report (the display it was made
// for among it) on its tooltip, and the TV's warnings in the log panel,
// where they stand out, named after the picture as the command line does.
void ExtraActions::ShowImportReport(const std::string& picture, const std::string& bitmap, const ImportReport& report) {
  form_.SetStatus("Imported " + bitmap + ": " + SummarizeReport(report));
  form_.status_text_->setToolTip(PlainToolTip(form_.status_text_->text() + QStringLiteral("\n\n") +
                                              QString::fromStdString(DescribeReport(report)).trimmed()));
  for (const std::string& warning : report.warnings) {
    form_.log_panel_->AddNote(QString::fromStdString("warning: " + ShownName(picture) + ": " + PrintableName(warning)),
                              LogPanel::Kind::kWarning);
  }
  if (!report.warnings.empty()) ShowLogPanel(*form_.log_panel_);
}

bool ExtraActions::MayWrite(const std::string& path, const DestinationCheck& target, const QString& title,
                            const std::string& folder, const std::string& with) {
  if (target.standing == Standing::kInput) {
    form_.dialogs_->ShowMessage(&form_, title, QString::fromStdString(RefusalText(path, target)));
    return false;
  }
  return target.MayWrite(false) ||
         form_.dialogs_->Confirm(
             &form_, title,
             QString::fromStdString(folder + " already holds " + ShownName(path) + ". Replace it with " + with + "?"));
}

void ExtraActions::SetOutcomeOfWrite(const std::string& text, const std::string& path, const DestinationCheck& target,
                                     const WrittenTo& written) {
  if (written.Diverted()) {
    const std::string kept = DivertedText(path, written);
    form_.outcome_->Set(text.empty() ? kept : text + " \u2014 " + kept);
    return;
  }
  if (!target.Replaces()) {
    if (!text.empty()) form_.outcome_->Set(text);
    return;
  }
  const std::string replaced = ReplacedText(path, target);
  form_.outcome_->Set(text.empty() ? replaced : text + " \u2014 " + replaced);
}

// The card goes beside the working folders, not into Input, so that it does
// not join every later batch. Written again whenever it is asked for, as the
// card of this version; a file of that name that is not a card written there
// (or the very card) is the user's, and replaced only when the user says so.
void ExtraActions::TestCard1Click() {
  const std::string path = form_.startup_.folders.base + "/" + kTestCardName;
  const Picture8 card = MakeTestCard();
  const DestinationCheck target = CheckDestination(path, {}, MadeFor::kTestCard, EncodeBitmap8(card));
  if (!MayWrite(path, target, kTestCardTitle, ShownName(form_.startup_.folders.base), "the test card")) return;
  WrittenTo written;
  try {
    written = WriteJudged(path, target, EncodeBitmap8(card));
  } catch (const std::exception& e) {
    LogFailure("ERROR: TestCard(" + PrintableName(path) + "), Msg=", e);
    form_.ShowMessage(WriteFailureText(path, e));
    return;
  }
  WriteLog("TestCard: Out=" + PrintableName(written.name));
  form_.OpenPictureFile(written.name);
  SetOutcomeOfWrite("test card: flash it; the outermost number your TV shows is its overscan", path, target, written);
}

void ExtraActions::About1Click() {
  const WorkingFolders& folders = form_.startup_.folders;
  std::string text =
      std::string(kAppTitle) + " " + FileVersion() + "\n" +
      "Turns a 720 \u00D7 576, 8-bit bitmap into the USB and serial update images of the receivers.\n\n" +
      "Licence: GNU General Public License, version 3 or later (GPL-3.0-or-later); it comes with "
      "no warranty.\n\n" +
      "Libraries: Qt " + qVersion() + ", zlib " + zlibVersion() + ", libimagequant\n\n" + "Working folders:\n" +
      "  Input: " + PrintableName(folders.input) + "\n" + "  Output: " + PrintableName(folders.output) + "\n" +
      "  Temp: " + PrintableName(folders.temp) + "\n" + "  Log: " + PrintableName(folders.log_file);
  form_.dialogs_->ShowMessage(&form_, QStringLiteral("About ") + QString::fromLatin1(kAppTitle),
                              QString::fromStdString(text));
}

}  // namespace kws
