#include "cli/json.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <ostream>

#include "fileio/name_text.h"

namespace kws::cli {

QString JsonName(const std::string& name) { return QString::fromStdU16String(NameToUtf16(name)); }
QString JsonText(const std::string& text) { return QString::fromStdString(text); }

namespace {

QJsonValue NameBytes(const std::string& name) {
  if (IsUtf8(name)) return QJsonValue();
  return QString::fromLatin1(QByteArray::fromStdString(name).toBase64());
}

}  // namespace

void PutName(QJsonObject& o, const QString& key, const std::string& name) {
  o[key] = JsonName(name);
  o[key + QStringLiteral("_bytes")] = NameBytes(name);
}

void PutNames(QJsonObject& o, const QString& key, const std::vector<std::string>& names) {
  QJsonArray texts, bytes;
  for (const std::string& name : names) {
    texts.append(JsonName(name));
    bytes.append(NameBytes(name));
  }
  o[key] = texts;
  o[key + QStringLiteral("_bytes")] = bytes;
}

void PrintJson(std::ostream& out, const QJsonObject& doc) {
  out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kws::cli
