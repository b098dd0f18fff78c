// quorin: builds setup files from a project file, and lists, extracts,
// verifies and compares any setup file.
#include <stdio.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>

#include "setup_commands.h"
#include "grouped_number.h"
#include "package_builder.h"
#include "project.h"

namespace {

// "1440K", "100M", "4100": K, M and G count 1,024s.
bool ParseSize(const std::string& text, uint64_t* out) {
  if (text.empty()) return false;
  size_t used = 0;
  unsigned long long v;
  try {
    v = std::stoull(text, &used);
  } catch (...) {
    return false;
  }
  std::string unit = text.substr(used);
  uint64_t scale = unit.empty() || unit == "B" ? 1 : unit == "K" || unit == "k" ? 1024 : unit == "M" ? 1024 * 1024
                   : unit == "G" ? 1024ull * 1024 * 1024 : 0;
  if (!scale) return false;
  *out = v * scale;
  return true;
}

void DrawProgress(uint64_t done, uint64_t total, const std::string& next) {
  constexpr int kWidth = 30;
  int filled = total ? static_cast<int>(done * kWidth / total) : kWidth;
  int percent = total ? static_cast<int>(done * 100 / total) : 100;
  std::string name = next.size() > 36 ? "..." + next.substr(next.size() - 33) : next;
  fprintf(stderr, "\r  [%.*s%*s] %3d%%  %-36s", filled, "##############################", kWidth - filled, "", percent,
          name.c_str());
  fflush(stderr);
}

int Build(const std::string& projectPath, const std::string& output, const std::string& arch,
          const std::string& volumeText, bool best, bool quiet) {
  auto started = std::chrono::steady_clock::now();
  BuildOptions options;
  options.arch = arch == "x64" ? StubArch::kX64 : StubArch::kI686;
  options.level = best ? PackLevel::kBest : PackLevel::kDefault;
  if (!volumeText.empty() && !ParseSize(volumeText, &options.volumeSize)) {
    std::cerr << "quorin: --volume-size " << volumeText << ": give a number of bytes, optionally with K, M or G\n";
    return 2;
  }
  Project project;
  std::vector<std::string> errors;
  if (!LoadProject(projectPath, &project, &errors)) {
    for (const std::string& e : errors) std::cerr << e << "\n";
    return 1;
  }
  bool bar = !quiet && isatty(STDERR_FILENO);
  if (bar) options.progress = DrawProgress;
  BuildSummary summary;
  bool ok = BuildSetup(project, options, output, &summary, &errors);
  if (bar) fprintf(stderr, "\r%*s\r", 80, "");
  if (!ok) {
    for (const std::string& e : errors) std::cerr << e << "\n";
    return 1;
  }
  if (quiet) return 0;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  double ratio = summary.inputBytes ? static_cast<double>(summary.dataBytes) / summary.inputBytes : 0;
  printf("%s: %zu files, %s bytes in, package %s bytes (file data %s bytes, %.1f%% of its input), %.2f s\n",
         summary.outputs[0].c_str(), summary.files, Grouped(summary.inputBytes).c_str(),
         Grouped(summary.packageBytes).c_str(), Grouped(summary.dataBytes).c_str(), ratio * 100, seconds);
  for (size_t i = 1; i < summary.outputs.size(); ++i) printf("  volume file %s\n", summary.outputs[i].c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"quorin: builds Quorin setup files from a project file, and lists, extracts and verifies setup files"};
  app.require_subcommand(1);

  std::string projectPath, output, arch = "i686", volumeSize, level = "default";
  bool quiet = false;
  CLI::App* build = app.add_subcommand("build", "Build a setup file from a project file (TOML)");
  build->add_option("project", projectPath, "The project file, such as project.toml")->required();
  build->add_option("-o,--output", output, "The setup file to write, such as setup.exe")->required();
  build->add_option("--arch", arch, "Stub to use: i686 (default; runs on every 32-bit Windows) or x64")
      ->check(CLI::IsMember({"i686", "x64"}));
  build->add_option("--volume-size", volumeSize,
                    "Cut the file data into volume files (.D01, .D02, ...) of at most this size; K, M, G allowed");
  build->add_option("--level", level, "Compression: default or best (smaller, much slower)")
      ->check(CLI::IsMember({"default", "best"}));
  build->add_flag("-q,--quiet", quiet, "No progress bar and no summary");

  std::string setupPath, directory, otherPath;
  CLI::App* list = app.add_subcommand("list", "List the records, texts and file entries of a setup file");
  list->add_option("setup", setupPath, "The setup file")->required();
  uint32_t codepage = 0;
  const char* codepageHelp = "ANSI code page of the setup's texts and names (default: the one the setup names, else 1252)";
  list->add_option("--codepage", codepage, codepageHelp);
  bool onlyRecords = false, onlyTemplates = false, onlyTexts = false, onlyFiles = false, table = false, json = false;
  list->add_flag("--records", onlyRecords, "Show the records (with the other flags given: only those parts)");
  list->add_flag("--templates", onlyTemplates, "Show the dialog templates");
  list->add_flag("--texts", onlyTexts, "Show the texts by group and entry");
  list->add_flag("--files", onlyFiles, "Show the file entries");
  CLI::Option* tableFlag = list->add_flag("--table", table, "One line per file: destination, size, packed, ratio, checksum, with totals");
  list->add_flag("--json", json, "Everything list shows, as one JSON document (see docs/quorin.md)")->excludes(tableFlag);
  CLI::App* extract = app.add_subcommand("extract", "Extract every file of a setup file, checking each checksum");
  extract->add_option("setup", setupPath, "The setup file; its volume files are found beside it")->required();
  extract->add_option("-o,--output", directory, "The folder to extract into (created if missing)")->required();
  extract->add_option("--codepage", codepage, codepageHelp);
  ExtractOptions extractOptions;
  extract->add_flag("--force", extractOptions.force, "Write over files that exist already (without it, nothing is written then)");
  CLI::App* verify = app.add_subcommand("verify", "Check that every record and stream of a setup file is intact");
  verify->add_option("setup", setupPath, "The setup file; its volume files are found beside it")->required();
  CLI::App* diff = app.add_subcommand("diff", "Compare two setup files: exit status 0 the same, 1 different, 2 unreadable");
  diff->add_option("a", setupPath, "The first setup file")->required();
  diff->add_option("b", otherPath, "The second setup file")->required();
  diff->add_option("--codepage", codepage, codepageHelp);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help ends here with 0; every real command-line error gives 2.
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*build) return Build(projectPath, output, arch, volumeSize, level == "best", quiet);
  if (!SetTextCodePage(codepage)) {
    std::cerr << "quorin: --codepage " << codepage << ": not a code page this system can convert\n";
    return 2;
  }
  if (*list) {
    ListSections show;
    if (onlyRecords || onlyTemplates || onlyTexts || onlyFiles)
      show = ListSections{onlyRecords, onlyTemplates, onlyTexts, onlyFiles};
    ListFormat format = table ? ListFormat::kTable : json ? ListFormat::kJson : ListFormat::kText;
    return ListSetup(setupPath, show, format, std::cout, std::cerr);
  }
  if (*extract) return ExtractSetup(setupPath, directory, extractOptions, std::cout, std::cerr);
  if (*verify) return VerifySetup(setupPath, std::cout, std::cerr);
  if (*diff) return DiffSetupFiles(setupPath, otherPath, std::cout, std::cerr);
  return 2;
}
