#include "cli/json.h"

#include <QJsonDocument>
#include <ostream>

#include "fileio/name_text.h"

namespace kws::cli {

QString JsonName(const std::string& name) { return QString::fromStdU16String(NameToUtf16(name)); }
QString JsonText(const std::string& text) { return QString::fromStdString(text); }

void PrintJson(std::ostream& out, const QJsonObject& doc) {
  out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kws::cli
