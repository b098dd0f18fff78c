// The example projects under examples/ build without warnings about the
// project, verify and extract to their own input files, so the README's
// commands keep working.
#include <gtest/gtest.h>

#include <sstream>

#include "setup_commands.h"
#include "package/format.h"
#include "package_builder.h"
#include "project.h"
#include "quorin_test_support.h"

namespace {

using namespace quorin_test;

class Example : public ::testing::TestWithParam<const char*> {};

// With either stub; the uninstaller the build adds is the one built for it.
TEST_P(Example, BuildsVerifiesAndExtractsItsFiles) {
  std::string projectPath = std::string(QUORIN_SOURCE_DIR) + "/examples/" + GetParam() + "/project.toml";
  Project project;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(projectPath, &project, &errors)) << ::testing::PrintToString(errors);
  ASSERT_TRUE(project.files.back().builtIn) << "the example asks for an uninstall entry";
  EXPECT_TRUE(project.warnings.empty()) << ::testing::PrintToString(project.warnings);
  for (StubArch arch : {StubArch::kI686, StubArch::kX64}) {
    ScratchDir out;
    BuildOptions options;
    options.arch = arch;
    BuildSummary summary;
    ASSERT_TRUE(BuildSetup(project, options, out / "setup.exe", &summary, &errors)) << ::testing::PrintToString(errors);
    EXPECT_EQ(summary.files, project.files.size());
    std::ostringstream log, err;
    EXPECT_EQ(VerifySetup(out / "setup.exe", log, err), 0) << err.str();
    ASSERT_EQ(ExtractSetup(out / "setup.exe", out / "x", log, err), 0) << err.str();
    for (const ProjectFile& f : project.files) {
      if (f.entryKind == format::kEntryExternal) continue;
      std::string name = f.destination;
      for (char& c : name)
        if (c == '\\') c = '/';
      std::string folder = f.destinationKind == format::kDestFonts ? "#Fonts#/"
                           : f.destinationKind == format::kDestSharedSystem ? "#System#/"
                           : f.destinationKind == format::kDestWindows ? "#Windows#/" : "";
      std::vector<uint8_t> expected;
      if (f.builtIn) {
        const uint8_t* data;
        size_t size;
        EmbeddedUninstaller(arch, &data, &size);
        expected.assign(data, data + size);
      } else {
        expected = ReadBytes(f.source);
      }
      EXPECT_EQ(ReadBytes(out / ("x/" + folder + name)), expected) << f.destination;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Projects, Example, ::testing::Values("hello", "custom"));

}  // namespace
