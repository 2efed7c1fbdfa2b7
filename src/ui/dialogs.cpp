#include "ui/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/import_dialog.h"

namespace kws {

std::optional<QString> QtDialogs::GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                                  const QString& default_suffix, const QString& directory) {
  QFileDialog dialog(parent, title, directory, filter);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

void QtDialogs::ShowMessage(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
  // Messages carry file names, which are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

std::optional<QString> QtDialogs::GetSaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                                  const QString& suggested) {
  QFileDialog dialog(parent, title, suggested, filter);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // Replacing a file is the window's question, asked once, by the rule every
  // writer keeps.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(QStringLiteral("bmp"));
  if (!suggested.isEmpty()) dialog.selectFile(suggested);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

void QtDialogs::ShowVerdict(QWidget* parent, const QString& title, const Verdict& verdict) {
  const QMessageBox::Icon icon = verdict.kind == Verdict::Kind::kSound     ? QMessageBox::Information
                                 : verdict.kind == Verdict::Kind::kDamaged ? QMessageBox::Critical
                                                                           : QMessageBox::Warning;
  QMessageBox box(icon, title, verdict.headline, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  // The report's lines, behind "Show Details...".
  box.setDetailedText(verdict.details);
  box.exec();
}

bool QtDialogs::Confirm(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogs::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace kws

namespace kws {

std::optional<ImportOptions> QtDialogs::GetImportOptions(QWidget* parent, const QString& picture,
                                                         const ImportOptions& options) {
  std::optional<ImportChoice> chosen = GetImport(parent, picture, options);
  if (!chosen) return std::nullopt;
  return chosen->options;
}

std::optional<ImportChoice> QtDialogs::GetImport(QWidget* parent, const QString& picture,
                                                 const ImportOptions& options) {
  ImportDialog dialog(picture, options, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

}  // namespace kws
