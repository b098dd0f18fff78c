#include "script.h"

bool SplitWords(const std::string& line, std::vector<Word>* words, std::string* error) {
  words->clear();
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    if (i >= n || line[i] == '#') break;
    std::string word;
    bool quoted = false;
    const bool quotedStart = line[i] == '"';
    while (i < n) {
      char c = line[i];
      if (quoted) {
        if (c == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            word += '"';
            i += 2;
            continue;
          }
          quoted = false;
          ++i;
          continue;
        }
        word += c;
        ++i;
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
      if (c == '"') {
        quoted = true;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    if (quoted) {
      *error = "a double quote is not closed";
      return false;
    }
    words->push_back(Word{word, quotedStart});
  }
  return true;
}

namespace {

// key=value only when the key is a plain lower-case word; a word that begins
// with a quote is always positional, so any text can be passed as it stands.
bool SplitOption(const std::string& word, std::string* key, std::string* value) {
  size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  for (size_t i = 0; i < eq; ++i) {
    char c = word[i];
    if (!((c >= 'a' && c <= 'z') || c == '-' || c == '_')) return false;
  }
  *key = word.substr(0, eq);
  *value = word.substr(eq + 1);
  return true;
}

}  // namespace

bool ParseCommand(const std::string& line, Command* command, std::string* error) {
  *command = Command();
  command->source = line;
  while (!command->source.empty() &&
         (command->source.back() == '\r' || command->source.back() == '\n')) {
    command->source.pop_back();
  }
  std::vector<Word> words;
  if (!SplitWords(line, &words, error)) return false;
  if (words.empty()) return true;
  command->name = words[0].text;
  for (size_t i = 1; i < words.size(); ++i) {
    std::string key, value;
    if (!words[i].quotedStart && SplitOption(words[i].text, &key, &value)) {
      command->options[key] = value;
    } else {
      command->args.push_back(words[i].text);
    }
  }
  return true;
}
