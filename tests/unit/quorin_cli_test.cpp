// The quorin program as an author meets it: its command line, its messages
// and exit statuses, the README's commands, and a build under a memory limit.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <sstream>

#include "quorin_test_support.h"

namespace {

using namespace quorin_test;

struct Result {
  int status = -1;
  std::string out, err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(dir / "a.txt", "alpha");
    WriteText(dir / "p.toml", "[setup]\ntitle = \"Cli\"\n[[file]]\nsource = \"a.txt\"\n");
  }

  // Runs a shell command line in the scratch folder, with $QUORIN the program.
  Result Shell(const std::string& line) {
    std::string command = "cd '" + dir.path() + "' && QUORIN='" QUORIN_BINARY "' && (" + line + "\n) >'" +
                          dir / ".out" + "' 2>'" + dir / ".err" + "'";
    Result r;
    int raw = system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadText(dir / ".out");
    r.err = ReadText(dir / ".err");
    return r;
  }
  Result Quorin(const std::string& arguments) { return Shell("\"$QUORIN\" " + arguments); }

  ScratchDir dir;
};

TEST_F(Cli, VersionAndHelpSayWhatAnAuthorNeeds) {
  Result r = Quorin("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "quorin " QUORIN_VERSION "\n");
  r = Quorin("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Exit status: 0 done; 1 a problem"), std::string::npos) << r.out;
  r = Quorin("build --help");
  EXPECT_EQ(r.status, 0);
  for (const char* part : {"its folder is created", "K = 1,024 bytes, M = 1,024 K, G = 1,024 M", "Default: one setup file",
                           "default: the number of cores", "i686 (default", "best, which also tries",
                           "Exit status: 0 built; 1 the project or its files have problems", "2 a bad command line"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

TEST_F(Cli, SummaryCountsInWords) {
  Result r = Quorin("build p.toml -o out/setup.exe");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("out/setup.exe: 1 file, 5 bytes in, package "), std::string::npos) << r.out;
  WriteText(dir / "bad.toml", "[setup]\ntitle = \"Cli\"\n[[file]]\nsource = \"missing.txt\"\n");
  r = Quorin("build bad.toml -o out/bad.exe");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\n1 problem; nothing was written\n"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out/bad.exe"));
}

// A size the builder cannot use is a bad command line; one too small for the
// setup is refused with the size that works, which then works.
TEST_F(Cli, VolumeSizes) {
  for (const char* bad : {"0", "-5", "12X", "K", "99999999999999999999"}) {
    Result r = Quorin(std::string("build p.toml -o out/setup.exe --volume-size=") + bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("give a size above 0 in bytes"), std::string::npos) << bad << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "out"));
  WriteBytes(dir / "noise.bin", NoiseBytes(9 << 20, 4));
  WriteText(dir / "p.toml", "[setup]\ntitle = \"Cli\"\n[[file]]\nsource = \"noise.bin\"\n");
  Result r = Quorin("build p.toml -o deep/er/setup.exe --volume-size 1000");
  EXPECT_EQ(r.status, 1);
  size_t at = r.err.find("so the size must be at least ");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "deep")) << "the folder made for the output stays after a failed build";
  std::string smallest = r.err.substr(at + 29, r.err.find(' ', at + 29) - at - 29);
  smallest.erase(std::remove(smallest.begin(), smallest.end(), ','), smallest.end());
  r = Quorin("build p.toml -o deep/er/setup.exe -q --volume-size " + smallest);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "deep/er/setup.D99"));
  EXPECT_TRUE(fs::exists(dir / "deep/er/setup.D100"));
  EXPECT_NE(r.err.find("deep/er/setup.exe: warning: --volume-size " ), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("names past setup.D99 are longer than 8.3"), std::string::npos) << r.err;
  r = Quorin("verify deep/er/setup.exe");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST_F(Cli, NeverWritesOverTheProject) {
  std::string before = ReadText(dir / "p.toml");
  Result r = Quorin("build p.toml -o p.toml");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("p.toml: the setup file to write (-o) is the project file itself"), std::string::npos) << r.err;
  EXPECT_EQ(ReadText(dir / "p.toml"), before);
  r = Quorin("build p.toml -o ./a.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadText(dir / "a.txt"), "alpha");
}

// The commands the README shows run as written from the repository's top folder.
TEST_F(Cli, ReadmeCommandsRunAsWritten) {
  std::string readme = ReadText(QUORIN_SOURCE_DIR "/README.md");
  size_t section = readme.find("## Using quorin");
  ASSERT_NE(section, std::string::npos);
  size_t begin = readme.find("```sh\n", section), end = readme.find("```\n", begin + 6);
  ASSERT_NE(begin, std::string::npos);
  std::istringstream block(readme.substr(begin + 6, end - begin - 6));
  fs::create_directory_symlink(QUORIN_SOURCE_DIR "/examples", dir / "examples");
  std::string line;
  int commands = 0;
  while (std::getline(block, line)) {
    if (line.rfind("quorin ", 0) != 0) continue;
    ++commands;
    Result r = Shell("\"$QUORIN\" " + line.substr(7));
    EXPECT_EQ(r.status, 0) << line << "\n" << r.err;
  }
  EXPECT_EQ(commands, 7);
  EXPECT_TRUE(fs::exists(dir / "build/example/files/readme.txt"));
}

// A file twice as large as the address space the build may use is built in
// pieces; the build's memory does not grow with its files.
TEST_F(Cli, BuildsAFileLargerThanItsMemoryLimit) {
  {
    std::ofstream create(dir / "big.bin", std::ios::binary);
  }
  fs::resize_file(dir / "big.bin", 200u << 20);  // sparse: zeros, no disk
  WriteText(dir / "p.toml", "[setup]\ntitle = \"Big\"\n[[file]]\nsource = \"big.bin\"\n");
  Result r = Shell("ulimit -v 100000 && \"$QUORIN\" build p.toml -o out/setup.exe -q -j 2");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Quorin("verify out/setup.exe");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
