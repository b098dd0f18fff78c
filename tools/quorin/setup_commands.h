// The inspector's commands over a setup file. Each returns the process exit
// status: 0 when everything was read and checked (warnings may be printed),
// 1 when anything is damaged or missing, 2 when the file is no setup file at
// all (and, for extract, when it would write over existing files).
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>

// The ANSI code page in which texts and names are shown and written; 0 (the
// default) takes the setup's own (its code page record, else 1252). False for
// a code page this system cannot convert.
bool SetTextCodePage(uint32_t codepage);

struct ListSections {
  bool records = true;
  bool templates = true;
  bool texts = true;
  bool files = true;
};

enum class ListFormat { kText, kTable, kJson };

struct ExtractOptions {
  bool force = false;   // write over files that exist already
};

int ListSetup(const std::string& path, std::ostream& out, std::ostream& err);
int ListSetup(const std::string& path, const ListSections& show, std::ostream& out, std::ostream& err);
int ListSetup(const std::string& path, const ListSections& show, ListFormat format, std::ostream& out,
              std::ostream& err);
int ExtractSetup(const std::string& path, const std::string& directory, std::ostream& out, std::ostream& err);
int ExtractSetup(const std::string& path, const std::string& directory, const ExtractOptions& options,
                 std::ostream& out, std::ostream& err);
int VerifySetup(const std::string& path, std::ostream& out, std::ostream& err);
// Compares two setups; see setup_diff.h.
int DiffSetupFiles(const std::string& a, const std::string& b, std::ostream& out, std::ostream& err);
