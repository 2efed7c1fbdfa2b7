#include "cli/man_pages.h"

#include <cctype>
#include <sstream>

#include "cli/commands.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"

namespace kws::cli {

namespace {

// Text as roff prints it: backslashes and hyphens escaped, and a line that
// begins with a control character kept as text.
std::string Roff(std::string_view text) {
  std::string out;
  bool line_start = true;
  for (const char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    line_start = c == '\n';
  }
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// ".TP" with the option in bold, its value in italics, then its help.
std::string OptionItem(const OptionSpec& o) {
  std::string item = ".TP\n";
  if (o.short_name) item += "\\fB\\-" + std::string(1, o.short_name) + "\\fR, ";
  item += "\\fB" + Roff(o.name) + "\\fR";
  if (!o.value.empty()) item += " \\fI" + Roff(o.value) + "\\fR";
  return item + "\n" + Roff(o.help) + "\n";
}

std::string JsonSection(const CommandSpec& c) {
  std::string text = ".SH JSON\nWith \\fB\\-\\-json\\fR, stdout holds one JSON document";
  text += c.reports_json ? " of the command's own:\n" : " of what the command said:\n";
  for (const JsonKeySpec& k : JsonKeys(c)) text += ".TP\n\\fB" + Roff(k.key) + "\\fR\n" + Roff(k.meaning) + "\n";
  return text;
}

}  // namespace

std::string CommandPageName(const CommandSpec& c) { return std::string(kProgram) + "-" + std::string(c.name); }

std::string CommandManPage(const CommandSpec& c, const std::string& version) {
  const std::string name = CommandPageName(c);
  std::string page = ".TH " + Upper(name) + " \"1\" \"\" \"" + kProgram + " " + version + "\" \"User Commands\"\n";
  page += ".SH NAME\n" + Roff(name) + " \\- " + Roff(c.summary) + "\n";
  page += ".SH SYNOPSIS\n.B " + Roff(kProgram) + "\n[\\fIOPTION\\fR...] \\fB" + Roff(c.name) + "\\fR";
  if (!c.arguments.empty()) page += " \\fI" + Roff(c.arguments) + "\\fR";
  std::string description(c.summary);
  if (!description.empty())
    description[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(description[0])));
  page += "\n.SH DESCRIPTION\n" + Roff(description) + ".\n";
  page += ".SH OPTIONS\n";
  for (const OptionSpec& o : c.options) page += OptionItem(o);
  page += ".SS \"Options for every command\"\n";
  for (const OptionSpec& o : kGlobalOptions) page += OptionItem(o);
  if (c.more_help) page += ".SH MORE\n.nf\n" + Roff(c.more_help()) + ".fi\n";
  page += JsonSection(c);
  page += ".SH EXAMPLE\n.nf\n" + Roff(c.example) + "\n.fi\n";
  page += ".SH \"SEE ALSO\"\n.BR " + std::string(kProgram) + " (1)\n";
  return page;
}

std::string ProgramPageInclude() {
  std::string text =
      "[RECEIVERS]\nEach picture becomes six update images in Output, two for each receiver; "
      "NAME is the picture's file name without its last extension.\n";
  for (const UsbModel* model : ModelsInRunOrder()) {
    text += ".TP\n\\fB" + Roff(model->receiver) + "\\fR\n";
    text += "USB update image \\fB\\%" + Roff(files::OutputImageName("NAME", *model, files::kUsbImage)) +
            "\\fR, serial update image \\fB\\%" + Roff(files::OutputImageName("NAME", *model, files::kSerialImage)) +
            "\\fR, serial model name \\fB" + Roff(model->serial_model) + "\\fR\n";
  }
  text += "\n[SEE ALSO]\nEach command's page gives its options and the keys of its JSON document:\n";
  const std::vector<CommandSpec>& commands = Commands();
  for (size_t i = 0; i < commands.size(); ++i) {
    text += ".BR " + CommandPageName(commands[i]) + (i + 1 < commands.size() ? " (1),\n" : " (1)\n");
  }
  return text;
}

}  // namespace kws::cli
