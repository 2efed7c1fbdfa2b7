// The menus' actions beyond opening and converting a picture: importing any
// picture, checking an update image and extracting its picture, the TV test
// card, About. Each works on the window it belongs to, and says in the
// window's second field what it did.
#pragma once

#include <QString>
#include <string>

#include "fileio/destination.h"
#include "picture/import_picture.h"

namespace kws {

class TForm1;

class ExtraActions {
 public:
  explicit ExtraActions(TForm1& form) : form_(form) {}

  // Turns any picture into a bitmap in the Input folder and opens that.
  void Import1Click();
  // Shows the verdict, and the picture inside a sound image in the preview.
  void CheckImage1Click();
  void ExtractPicture1Click();
  // Writes the test card beside the working folders and opens it.
  void TestCard1Click();
  void About1Click();

  // Where an import writes its bitmap: into Input, where the button
  // converts it, or beside the picture, where a picture opened with File >
  // Open lies.
  enum class ImportTo { kInput, kBeside };

  // Imports a picture with the options given, into a bitmap of its name in
  // Input (or beside it). A file there is replaced only when an import made
  // it or the user says so; the picture itself (a bitmap of another kind)
  // never: the import then goes beside it (holiday-1.bmp).
  // made: the picture as the import's dialog made it with these options,
  // written as it is; when null, the import makes it.
  void ImportPicture(const QString& path, const ImportOptions& options, const ImportedPicture* made = nullptr,
                     ImportTo to = ImportTo::kInput);
  void ImportPicture(const QString& path) { ImportPicture(path, RememberedImportOptions()); }
  // The import's dialog, then the import.
  void ImportWithOptions(const QString& path, ImportTo to = ImportTo::kInput);
  // The import's options as last chosen in its dialog.
  ImportOptions RememberedImportOptions() const;

 private:
  void ShowImportReport(const std::string& picture, const std::string& bitmap, const ImportReport& report);
  // The one rule for a file the user names, as the window keeps it: true
  // when target may be written without asking, else the user's answer to
  // replacing it ("<folder> already holds <name>. Replace it with <with>?");
  // a writer's own input is never replaced, and said so.
  bool MayWrite(const std::string& path, const DestinationCheck& target, const QString& title,
                const std::string& folder, const std::string& with);
  // The second field says text, and what the write replaced, if anything.
  void SetOutcomeOfWrite(const std::string& text, const std::string& path, const DestinationCheck& target,
                         const WrittenTo& written = {});

  TForm1& form_;
};

}  // namespace kws
