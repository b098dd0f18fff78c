// Writes the project-file fuzzer's starting corpus: the example projects, with
// every '/' of a path written as an escaped backslash (the fuzzer skips '/',
// see project_reader_fuzz.cpp) and comments dropped.
#include <stdio.h>

#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  for (const char* example : {"hello", "custom"}) {
    std::ifstream in(std::string(QUORIN_SOURCE_DIR) + "/examples/" + example + "/project.toml");
    if (!in) {
      fprintf(stderr, "cannot read the %s example\n", example);
      return 1;
    }
    std::string line, seed;
    while (std::getline(in, line)) {
      size_t hash = line.find('#');
      // A '#' inside a text ("#Program Files#") is no comment: keep those lines.
      if (hash != std::string::npos && line.find('"') == std::string::npos && line.find('\'') == std::string::npos)
        line = line.substr(0, hash);
      std::string converted;
      for (char c : line) converted += c == '/' ? std::string("\\\\") : std::string(1, c);
      seed += converted + "\n";
    }
    std::ofstream out(std::string(argv[1]) + "/" + example + ".toml", std::ios::binary);
    out << seed;
    if (!out) return 1;
  }
  return 0;
}
