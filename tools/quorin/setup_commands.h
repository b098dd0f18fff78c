// The inspector's three commands over a setup file. Each returns the process
// exit status: 0 when everything was read and checked, 1 when anything is
// damaged or missing, 2 when the file is no setup file at all.
#pragma once

#include <ostream>
#include <string>

// The ANSI code page in which texts and names are shown (default 1252).
void SetTextCodePage(int codepage);

struct ListSections {
  bool records = true;
  bool templates = true;
  bool texts = true;
  bool files = true;
};

int ListSetup(const std::string& path, std::ostream& out, std::ostream& err);
int ListSetup(const std::string& path, const ListSections& show, std::ostream& out, std::ostream& err);
int ExtractSetup(const std::string& path, const std::string& directory, std::ostream& out, std::ostream& err);
int VerifySetup(const std::string& path, std::ostream& out, std::ostream& err);
