// What the JSON reports share: names held losslessly, and one document a run.
#pragma once

#include <QJsonObject>
#include <QString>
#include <iosfwd>
#include <string>
#include <vector>

namespace kws::cli {

// JSON holds a name losslessly: a byte that is not valid UTF-8 is "\udcXX"
// (see NameToUtf16), and control characters are JSON's own escapes.
QString JsonName(const std::string& name);

// Most JSON readers (jq among them) turn those lone surrogates into U+FFFD,
// so beside each name stands KEY_bytes: its exact bytes in base64 when it is
// not valid UTF-8, else null. PutName sets o[key] and o[key_bytes];
// PutNames the same for a list, key_bytes holding an entry for each name.
void PutName(QJsonObject& o, const QString& key, const std::string& name);
void PutNames(QJsonObject& o, const QString& key, const std::vector<std::string>& names);
QString JsonText(const std::string& text);

// Prints doc as one indented JSON document.
void PrintJson(std::ostream& out, const QJsonObject& doc);

}  // namespace kws::cli
