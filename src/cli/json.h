// What the JSON reports share: names held losslessly, and one document a run.
#pragma once

#include <QJsonObject>
#include <QString>
#include <iosfwd>
#include <string>

namespace kws::cli {

// JSON holds a name losslessly: a byte that is not valid UTF-8 is "\udcXX"
// (see NameToUtf16), and control characters are JSON's own escapes.
QString JsonName(const std::string& name);
QString JsonText(const std::string& text);

// Prints doc as one indented JSON document.
void PrintJson(std::ostream& out, const QJsonObject& doc);

}  // namespace kws::cli
