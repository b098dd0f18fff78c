// quorin: builds setup files from a project file, and lists, extracts,
// verifies and compares any setup file.
#include <malloc.h>
#include <stdio.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>
#include <new>

#include "setup_commands.h"
#include "grouped_number.h"
#include "package_builder.h"
#include "project.h"

namespace {

// "1440K", "100M", "4100": K, M and G count 1,024s. Refuses 0, signs and overflow.
bool ParseSize(const std::string& text, uint64_t* out) {
  size_t digits = 0;
  while (digits < text.size() && isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 19) return false;
  uint64_t v = std::stoull(text.substr(0, digits));
  std::string unit = text.substr(digits);
  uint64_t scale = unit.empty() || unit == "B" ? 1 : unit == "K" || unit == "k" ? 1024 : unit == "M" ? 1024 * 1024
                   : unit == "G" ? 1024ull * 1024 * 1024 : 0;
  if (!scale || v == 0 || v > UINT64_MAX / scale) return false;
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

struct BuildRequest {
  std::string project, output, arch = "i686", volumeSize, level = "default";
  int jobs = 0;
  bool quiet = false;
};

int Build(const BuildRequest& request) {
  auto started = std::chrono::steady_clock::now();
  BuildOptions options;
  options.arch = request.arch == "x64" ? StubArch::kX64 : StubArch::kI686;
  options.level = request.level == "best" ? PackLevel::kBest : PackLevel::kDefault;
  options.jobs = request.jobs > 0 ? request.jobs : DefaultJobs();
  if (!request.volumeSize.empty() && !ParseSize(request.volumeSize, &options.volumeSize)) {
    std::cerr << "quorin: --volume-size " << request.volumeSize
              << ": give a size above 0 in bytes, or with K, M or G (1,024 bytes, 1,024 K, 1,024 M), such as 1440K\n";
    return 2;
  }
  Project project;
  std::vector<std::string> errors, messages;
  LoadProject(request.project, &project, &errors, request.output);
  PreparedSetup prepared;
  // Even a project with problems has its files and dialogs checked, so that
  // one run reports everything.
  if (project.parsed) PrepareSetup(project, options, request.output, &prepared, &errors);
  if (!errors.empty()) {
    OrderMessages(request.project, &errors);
    messages = errors;
    messages.insert(messages.end(), project.warnings.begin(), project.warnings.end());
    messages.insert(messages.end(), prepared.warnings.begin(), prepared.warnings.end());
    OrderMessages(request.project, &messages);
    for (const std::string& m : messages) std::cerr << m << "\n";
    std::cerr << Count(errors.size(), "problem", "problems") << "; nothing was written\n";
    return 1;
  }
  bool bar = !request.quiet && isatty(STDERR_FILENO);
  if (bar) options.progress = DrawProgress;
  BuildSummary summary;
  bool ok = BuildPrepared(project, prepared, options, request.output, &summary, &errors);
  if (bar) fprintf(stderr, "\r%*s\r", 80, "");
  messages = project.warnings;
  messages.insert(messages.end(), prepared.warnings.begin(), prepared.warnings.end());
  messages.insert(messages.end(), summary.warnings.begin(), summary.warnings.end());
  if (!ok) messages.insert(messages.end(), errors.begin(), errors.end());
  OrderMessages(request.project, &messages);
  for (const std::string& m : messages) std::cerr << m << "\n";
  if (!ok) {
    std::cerr << "nothing was written\n";
    return 1;
  }
  if (request.quiet) return 0;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  double ratio = summary.inputBytes ? static_cast<double>(summary.dataBytes) / summary.inputBytes : 0;
  printf("%s: %s, %s in, package %s (file data %s, %.1f%% of its input), %.2f s\n", summary.outputs[0].c_str(),
         Count(summary.files, "file", "files").c_str(), Count(summary.inputBytes, "byte", "bytes").c_str(),
         Count(summary.packageBytes, "byte", "bytes").c_str(), Count(summary.dataBytes, "byte", "bytes").c_str(),
         ratio * 100, seconds);
  for (size_t i = 1; i < summary.outputs.size(); ++i) printf("  volume file %s\n", summary.outputs[i].c_str());
  return 0;
}

int Run(int argc, char** argv) {
  CLI::App app{"quorin: builds Quorin setup files from a project file, and lists, extracts, verifies and compares "
                "setup files"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "quorin " QUORIN_VERSION);
  app.footer("Exit status: 0 done; 1 a problem with the project, its files or the setup file (see each command's "
             "--help); 2 a bad command line.");

  BuildRequest request;
  CLI::App* build = app.add_subcommand("build", "Build a setup file from a project file (TOML)");
  build->add_option("project", request.project, "The project file, such as project.toml")->required();
  build->add_option("-o,--output", request.output, "The setup file to write, such as setup.exe; its folder is created")
      ->required();
  build->add_option("--arch", request.arch, "Stub to use: i686 (default; runs on every 32-bit Windows) or x64")
      ->check(CLI::IsMember({"i686", "x64"}));
  build->add_option("--volume-size", request.volumeSize,
                    "Cut the file data into volume files (.D01, .D02, ...) so that no file is larger than SIZE: "
                    "bytes, or a number with K, M or G (K = 1,024 bytes, M = 1,024 K, G = 1,024 M), such as 1440K. "
                    "Default: one setup file")
      ->type_name("SIZE");
  build->add_option("--level", request.level,
                    "Compression: default, or best, which also tries an exhaustive parse for each file: 0.1 to 0.3% "
                    "smaller, 40 to 80 times slower")
      ->check(CLI::IsMember({"default", "best"}));
  build->add_option("-j,--jobs", request.jobs,
                    "Files compressed at once, on as many threads (default: the number of cores, " +
                        std::to_string(DefaultJobs()) + " here); the setup file is the same for every N")
      ->type_name("N")
      ->check(CLI::Range(1, 1024));
  build->add_flag("-q,--quiet", request.quiet, "No progress bar and no summary");
  build->footer("Exit status: 0 built; 1 the project or its files have problems, each reported as file:line, and "
                "nothing was written; 2 a bad command line.");

  std::string setupPath, directory, otherPath;
  CLI::App* list = app.add_subcommand("list", "List the records, texts and file entries of a setup file, or the "
                                              "uninstall records of an installed uninstaller");
  list->add_option("setup", setupPath, "The setup file, or an installed uninstaller such as uninst.exe")->required();
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
    // --help and --version end here with 0; every real command-line error gives 2.
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*build) return Build(request);
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

}  // namespace

int main(int argc, char** argv) {
  // Pieces of files are large and short-lived: mapped and returned at once, in
  // one heap for all threads, the memory a build reserves stays what it uses,
  // also under an address-space limit (ulimit -v).
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  mallopt(M_ARENA_MAX, 1);
  // Every failure is a message; nothing ends the program with an uncaught exception.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "quorin: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "quorin: " << e.what() << "\n";
  }
  return 1;
}
