// The driver's little command language: one command per line (or per
// command-line argument), words separated by blanks, double quotes around a
// word that holds blanks ("" inside quotes is one quote), key=value options
// among the words, and # to the end of a line as a comment.
#pragma once

#include <map>
#include <string>
#include <vector>

struct Command {
  std::string name;
  std::vector<std::string> args;              // positional words after the name
  std::map<std::string, std::string> options; // key=value words
  std::string source;                         // the line as written, for messages
};

struct Word {
  std::string text;
  bool quotedStart;  // began with a quote, so it is never read as key=value
};

// Splits one line into words. False with a reason when a quote is left open.
bool SplitWords(const std::string& line, std::vector<Word>* words, std::string* error);

// Parses one line; an empty or comment-only line gives a command with no name.
bool ParseCommand(const std::string& line, Command* command, std::string* error);
