// Setup files that quorin builds, loaded by the stub's own package loader
// (compiled for the host): every record lands where the stub expects it.
#include <gtest/gtest.h>
#include <string.h>

#include "common/setup_state.h"
#include "package/format.h"
#include "package/loader.h"
#include "package/strings.h"
#include "package_builder.h"
#include "project.h"
#include "quorin_test_support.h"
#include "setup_reader.h"
#include "startup/config_block.h"

// The loader's one message box, as the host sees it.
static std::vector<std::string> g_shown;
int ShowMessage(const char* text, unsigned) {
  g_shown.emplace_back(text);
  return 1;
}

namespace {

using namespace quorin_test;

// An 8-bit bottom-up bitmap with a full colour table.
std::vector<uint8_t> Bitmap8(int width, int height) {
  int stride = (width + 3) & ~3;
  uint32_t bitsAt = 14 + 40 + 1024, size = bitsAt + static_cast<uint32_t>(stride * height);
  std::vector<uint8_t> b(size, 0);
  b[0] = 'B', b[1] = 'M';
  format::WriteU32(&b[2], size);
  format::WriteU32(&b[10], bitsAt);
  format::WriteU32(&b[14], 40);
  format::WriteU32(&b[18], static_cast<uint32_t>(width));
  format::WriteU32(&b[22], static_cast<uint32_t>(height));
  format::WriteU16(&b[26], 1);
  format::WriteU16(&b[28], 8);
  for (int i = 0; i < 256; ++i) b[54 + 4 * i] = static_cast<uint8_t>(i), b[54 + 4 * i + 2] = static_cast<uint8_t>(255 - i);
  for (size_t i = bitsAt; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

class StubLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "side.bmp", Bitmap8(164, 314));
    WriteBytes(dir / "tile.bmp", Bitmap8(64, 64));
    WriteBytes(dir / "a.txt", TextBytes(3000, 1));
    WriteBytes(dir / "b.bin", NoiseBytes(5000, 2));
  }
  void TearDown() override {
    ReleasePackage();
    if (g_setup.sourcePath) ReleasePathBuffers();
  }

  // Builds the project text and loads the result the way a stub without a
  // package of its own does with /S: it takes the file's configuration block.
  void BuildAndLoad(const std::string& toml) {
    WriteText(dir / "p.toml", toml);
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
    BuildSummary summary;
    ASSERT_TRUE(ComposeSetup(project, BuildOptions{}, &image, &summary, &errors)) << ::testing::PrintToString(errors);
    ASSERT_TRUE(BuildSetup(project, BuildOptions{}, dir / "setup.exe", &summary, &errors));
    ReleasePackage();
    g_setup = SetupState();
    AllocatePathBuffers();
    for (size_t i = 0; i < 4; ++i) g_stubConfig[format::kConfigStubSizeOffset + i] = 0;
    g_setup.sourceSwitch = true;
    std::string setup = dir / "setup.exe";
    ASSERT_LT(setup.size(), format::kPathBufferSize);
    strcpy(g_setup.sourcePath, setup.c_str());
    g_shown.clear();
    loaded = LoadPackage();
  }

  static std::string Text(const char* p) { return p ? p : "<absent>"; }

  ScratchDir dir;
  Project project;
  SetupImage image;
  bool loaded = false;
};

TEST_F(StubLoader, EveryRecordOfAFullProject) {
  BuildAndLoad(R"(
[setup]
title = "Loader & Co"
uninstall_name = "Loader Remove"
folder = "#Windows#\\Loader"
mode = "background"
editable_folder = false
side_bitmap = "side.bmp"
background_bitmap = "tile.bmp"

[background_title]
text = "Loader!"
font = "Arial"
size = 30
colour = "#102030"
shadow = "#405060"

[remember]
registry = { root = "HKU", key = "Software\\L", value = "Dir" }
ini = { file = "l.ini", section = "S", key = "K" }

[texts]
information = ""
7.3 = "&Go"

[[file]]
source = "a.txt"
[[file]]
source = "b.bin"
kind = "fonts"
)");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(g_shown.empty());
  const PackageData& p = g_setup.package;
  const uint8_t* stub;
  size_t stubSize;
  EmbeddedStub(StubArch::kI686, &stub, &stubSize);
  EXPECT_EQ(StubSize(), stubSize);  // taken from the setup file's own block
  EXPECT_EQ(p.flags, format::kFlagBackgroundMode | format::kFlagRememberInRegistry | format::kFlagRememberInIni);
  EXPECT_STREQ(g_setup.destinationFolder, "#Windows#\\Loader");
  EXPECT_EQ(Text(p.uninstallName), "Loader Remove");
  EXPECT_EQ(Text(p.backgroundTitle), "Loader!");
  ASSERT_TRUE(p.titleStyle);
  EXPECT_EQ(p.titleStyleSize, format::kTitleStyleSize);
  EXPECT_EQ(format::ReadU32(p.titleStyle), 0x00605040u);      // shadow #405060 as COLORREF
  EXPECT_EQ(format::ReadU32(p.titleStyle + 4), 0x00302010u);  // colour #102030
  EXPECT_EQ(static_cast<int32_t>(format::ReadU32(p.titleStyle + 8)), -30);
  EXPECT_STREQ(reinterpret_cast<const char*>(p.titleStyle + 8 + 28), "Arial");
  EXPECT_EQ(p.locationRoot, 3u);
  EXPECT_EQ(Text(p.locationKey), "Software\\L");
  EXPECT_EQ(Text(p.locationValue), "Dir");
  EXPECT_EQ(Text(p.locationIniFile), "l.ini");
  EXPECT_EQ(Text(p.locationIniSection), "S");
  EXPECT_EQ(Text(p.locationIniKey), "K");
  ASSERT_TRUE(p.sideBitmap);
  EXPECT_EQ(p.sideBitmapSize, fs::file_size(dir / "side.bmp"));
  EXPECT_EQ(0, memcmp(p.sideBitmap, ReadBytes(dir / "side.bmp").data(), p.sideBitmapSize));
  ASSERT_TRUE(p.backgroundBitmap);
  EXPECT_EQ(p.backgroundBitmapSize, fs::file_size(dir / "tile.bmp"));
  ASSERT_TRUE(p.templates);
  EXPECT_GE(p.templatesSize, 9u * 4);
  // The uninstaller the build adds for the uninstall name comes last.
  EXPECT_EQ(p.fileCount, 3u);
  const uint8_t* uninstaller;
  size_t uninstallerSize;
  EmbeddedUninstaller(StubArch::kI686, &uninstaller, &uninstallerSize);
  EXPECT_EQ(p.startPage, format::kNoStartPage);
  EXPECT_EQ(p.pacingMs, format::kDefaultPacingMs);
  ASSERT_TRUE(p.uninstallValues);
  EXPECT_EQ(p.uninstallValuesSize, format::kUninstallValuesFixedSize + 3);
  EXPECT_EQ(format::ReadU32(p.uninstallValues + 4), (3000 + 5000 + uninstallerSize + 1023) / 1024);
  EXPECT_EQ(p.dataLength, image.data.size());
  for (int g = 0; g < 9; ++g) EXPECT_TRUE(p.stringGroups[g]) << g;
  EXPECT_EQ(std::string(GetGroupString(1, 1)), "");
  EXPECT_EQ(std::string(GetGroupString(7, 3)), "&Go");
  EXPECT_NE(std::string(GetGroupString(6, 0)).find("Loader & Co"), std::string::npos);
  EXPECT_EQ(std::string(GetGroupString(6, 31)).empty(), false);
  // The first entry the stub walks is the one the project listed first.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.firstEntry + format::kEntryFixedSize)), "a.txt");
  const uint8_t* last = p.firstEntry;
  for (int i = 0; i < 2; ++i) last += format::ReadU32(last + format::kEntrySize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(last + format::kEntryFixedSize)), "uninst.exe");
  EXPECT_EQ(last[format::kEntryOptions], format::kOptionUninstaller);
  EXPECT_EQ(last[format::kEntryKind], format::kEntryInstalled);
  EXPECT_EQ(format::ReadU32(last + format::kEntryFileSize), uninstallerSize);
}

TEST_F(StubLoader, SinglePageModeAndFramedMode) {
  BuildAndLoad("[setup]\ntitle = \"One\"\nmode = \"framed\"\nstart_page = \"progress\"\n[[file]]\nsource = \"a.txt\"\n");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(g_setup.package.startPage, 4);
  EXPECT_EQ(g_setup.package.flags, format::kFlagEditableFolder);
  EXPECT_FALSE(g_setup.package.titleStyle);
  EXPECT_FALSE(g_setup.package.backgroundTitle);
  EXPECT_STREQ(g_setup.destinationFolder, "#Program Files#\\One");
}

TEST_F(StubLoader, AProjectWithNoFiles) {
  BuildAndLoad("[setup]\ntitle = \"Empty\"\n");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(g_setup.package.fileCount, 0u);
  EXPECT_EQ(g_setup.package.dataLength, 0u);
}

}  // namespace
