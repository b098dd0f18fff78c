// The example projects under examples/ build, verify and extract to their
// own input files, so the README's commands keep working.
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

TEST_P(Example, BuildsVerifiesAndExtractsItsFiles) {
  std::string projectPath = std::string(QUORIN_SOURCE_DIR) + "/examples/" + GetParam() + "/project.toml";
  Project project;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(projectPath, &project, &errors)) << ::testing::PrintToString(errors);
  ScratchDir out;
  BuildSummary summary;
  ASSERT_TRUE(BuildSetup(project, BuildOptions{}, out / "setup.exe", &summary, &errors)) << ::testing::PrintToString(errors);
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
    EXPECT_EQ(ReadBytes(out / ("x/" + folder + name)), ReadBytes(f.source)) << f.destination;
  }
}

INSTANTIATE_TEST_SUITE_P(Projects, Example, ::testing::Values("hello", "custom"));

}  // namespace
