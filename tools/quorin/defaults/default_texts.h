// The English texts a setup gets when its project does not word them itself.
// The stub has no wording of its own: every caption, page text, button and
// message is looked up by (string group, entry), so this table must cover every
// entry the stub reads, and a project with only a title still gets the whole
// wizard.
//
// Placeholder: "{title}" stands for the project's title and is replaced at
// build time by ExpandDefaultText. It is the only placeholder; braces that do
// not spell it are kept as they stand.
//
// Entries the stub formats with wsprintfA carry their conversion ("%s" or
// "%u") and write a literal percent sign as "%%"; all other texts contain no
// percent sign at all, because the stub shows them as they stand.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

enum class TextFormat : uint8_t {
  kPlain,     // shown as it stands
  kString,    // formatted with one string argument ("%s")
  kInteger,   // formatted with one unsigned integer argument ("%u")
};

struct DefaultText {
  uint8_t group;
  uint16_t entry;
  TextFormat format;
  bool mnemonic;          // shown on a button or label, where '&' marks the access key
  const char* argument;   // what the stub formats the text with; "" when kPlain
  const char* purpose;    // one line for `quorin list` and the documentation
  const char* text;       // "" switches the feature off where the stub allows it
};

// The whole table, ordered by group and entry. Entries the stub never reads
// are absent; the builder writes them as empty strings.
const DefaultText* DefaultTexts(size_t* count);

// The default for (group, entry), or null when the stub does not read it.
const DefaultText* FindDefaultText(int group, int entry);

// Replaces every "{title}" in text by title, as it stands.
std::string ExpandDefaultText(const char* text, const std::string& title);

// Replaces "{title}" so that the title reads as typed where the text ends up:
// a '%' in it is doubled in texts the stub formats, an '&' in texts shown on
// buttons and labels.
std::string ExpandDefaultText(const DefaultText& text, const std::string& title);

// The table as the markdown of docs/texts.md: group, entry, purpose, default
// text and argument, one row per entry.
std::string DefaultTextsMarkdownTable();
