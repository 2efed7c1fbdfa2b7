#include "ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kws {

std::optional<QString> QtDialogs::GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                                  const QString& default_suffix) {
  QFileDialog dialog(parent, title, QString(), filter);
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

}  // namespace kws
