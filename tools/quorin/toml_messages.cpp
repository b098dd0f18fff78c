#include "toml_messages.h"

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

// The key a "key = value" line sets, or empty.
std::string KeyOf(const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return "";
  std::string key = Trim(line.substr(0, equals));
  return key.find_first_of("\"'[") == std::string::npos ? key : "";
}

// The reader's own words without its "Error while parsing ...:" heading.
std::string Detail(const std::string& description) {
  size_t colon = description.find(": ");
  return description.rfind("Error while parsing", 0) == 0 && colon != std::string::npos ? description.substr(colon + 2)
                                                                                         : description;
}

}  // namespace

std::string ExplainTomlError(const std::string& description, const std::string& line, int column) {
  std::string key = KeyOf(line);
  std::string what = key.empty() ? "the value" : "the value of '" + key + "'";
  std::string where = " (column " + std::to_string(column) + ")";
  const std::string& d = description;
  if (Has(d, "parsing value: could not determine value type") || Has(d, "parsing boolean") ||
      Has(d, "parsing floating-point") || (Has(d, "expected value, saw") && !Has(d, "saw '\\n'")))
    return what + " is not understood" + where +
           ": write a text in double quotes (\"...\"), true or false, a number, or a list in [ ]";
  if (Has(d, "expected value, saw '\\n'") || Has(d, "expected value, saw EOF"))
    return what + " is missing after '='";
  if (Has(d, "unknown escape sequence"))
    return "a backslash in double quotes starts an escape such as \\n" + where +
           "; write a backslash itself as \\\\ (\"C:\\\\Program Files\"), or put the text in single quotes";
  if (Has(d, "parsing string") && (Has(d, "control character") || Has(d, "end-of-file") || Has(d, "end-of-line")))
    return Has(line, "\"\"\"") || Has(line, "'''")
               ? "a text in triple quotes is not closed before the end of the file"
               : "a text in quotes is not closed on its line" + where +
                     "; end it with the same quote, write a line break as \\r\\n, or use triple quotes \"\"\" for "
                     "a text over several lines";
  if (Has(d, "cannot redefine existing table"))
    return "this table is written twice; each [table] appears once ([[file]] is the one that repeats)";
  if (Has(d, "cannot redefine existing"))
    return (key.empty() ? std::string("this key") : "'" + key + "'") + " is given twice in the same table";
  if (Has(d, "expected '=', saw"))
    return "a key must be followed by '=' and its value, such as title = \"Acme Editor\"" + where;
  if (Has(d, "expected a comment or whitespace"))
    return "after " + what + " only a comment starting with # may follow on the same line" + where +
           "; a text with spaces belongs inside one pair of double quotes";
  if (Has(d, "parsing table header"))
    return "a table name is written in brackets on a line of its own, such as [setup] or [[file]]" + where;
  if (Has(d, "parsing array"))
    return "the items of a list are separated by commas and the list ends with ']'" + where;
  if (Has(d, "parsing inline table"))
    return "a table in braces { } stays on one line, separates its entries with commas and does not end with one" +
           where;
  if (Has(d, "leading zeroes")) return "a number is written without leading zeros" + where;
  if (Has(d, "expected keys, tables, whitespace or comments") || Has(d, "expected bare key"))
    return "expected key = value, a [table] heading or a # comment here" + where;
  if (Has(d, "unexpected control character") || Has(d, "control character"))
    return "the line holds a control character" + where + "; in a text write it as an escape such as \\t";
  return "the line is not a valid project line" + where + ": " + Detail(d);
}
