// The README's commands run as written. Its commands are its "```sh" blocks; the first two set up
// a fresh machine (they build, and are what CI runs). Every other block runs line by line, as a
// user types it, in a scratch copy of the source tree whose build/release/olvu is the program
// under test, from the top of that copy: it must end with status 0 and write nothing outside
// build/. Lines that configure or build a tree are not run again: the build under test stands
// for them. A "```text" block after a command's block is what that command prints, and every line
// of an example's output that the text quotes ("the last line of `examples/NAME`'s `.EXT`,
// `LINE`") is the last line of that file of the example's run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/driver/shell_run.h"

namespace olvu_test {
namespace {

namespace fs = std::filesystem;

const fs::path kTop = fs::path(OLVU_EXAMPLES_DIR).parent_path();

/// The lines of each "```sh" block of a markdown text, in order.
std::vector<std::vector<std::string>> ShellBlocks(const std::string& text) {
  std::vector<std::vector<std::string>> blocks;
  std::istringstream in(text);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!inside && line == "```sh") {
      inside = true;
      blocks.emplace_back();
    } else if (inside && line.rfind("```", 0) == 0) {
      inside = false;
    } else if (inside && !line.empty()) {
      blocks.back().push_back(line);
    }
  }
  return blocks;
}

/// True for a line that configures or builds a tree: "cmake ...", also after variable settings.
bool Builds(const std::string& line) {
  std::istringstream words(line);
  std::string w;
  while (words >> w && w.find('=') != std::string::npos) {
  }
  return w == "cmake";
}

/// What a block needs that a machine or a build may lack, or "" when it needs nothing more.
std::string Needs(const std::vector<std::string>& block) {
  for (const std::string& line : block) {
    if (line.find("cylinder3d") != std::string::npos) return "gmsh";
    if (line.find("olvu_fuzz_") != std::string::npos) return "fuzzers";
  }
  return "";
}

/// Files of a tree outside its build/ folder: path -> size and time of the last change.
using Snapshot = std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>>;

Snapshot Files(const fs::path& top) {
  Snapshot out;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), top).string();
    if (rel == "build" && it->is_directory()) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) out[rel] = {it->file_size(), it->last_write_time()};
  }
  return out;
}

/// A copy of the source tree without its builds and history, whose build/release/olvu (and the
/// fuzzers of build/fuzz, where the build under test has them) is the build under test.
class ScratchTree {
 public:
  ScratchTree() : top_(fs::path(folder_.path("tree"))) {
    fs::create_directory(top_);
    for (const auto& e : fs::directory_iterator(kTop)) {
      const std::string name = e.path().filename().string();
      if (name == "build" || name == ".git") continue;
      fs::copy(e.path(), top_ / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::create_directories(top_ / "build/release");
    fs::create_symlink(OLVU_EXE, top_ / "build/release/olvu");
    const fs::path fuzzers = fs::path(OLVU_EXE).parent_path() / "fuzz";
    if (fs::exists(fuzzers / "olvu_fuzz_function")) {
      fs::create_directories(top_ / "build/fuzz");
      fs::create_directory_symlink(fuzzers, top_ / "build/fuzz/fuzz");
    }
    before_ = Files(top_);
  }

  const fs::path& top() const { return top_; }
  const Folder& folder() const { return folder_; }

  /// The files outside build/ that are new, changed or gone since the copy.
  std::vector<std::string> ChangedOutsideBuild() const {
    const Snapshot after = Files(top_);
    std::vector<std::string> out;
    for (const auto& [path, stamp] : after) {
      const auto was = before_.find(path);
      if (was == before_.end() || was->second != stamp) out.push_back(path);
    }
    for (const auto& [path, stamp] : before_)
      if (!after.count(path)) out.push_back(path + " (removed)");
    return out;
  }

 private:
  Folder folder_;
  fs::path top_;
  Snapshot before_;
};

std::vector<std::vector<std::string>> Readme() { return ShellBlocks(ReadFile((kTop / "README.md").string())); }

/// The "```text" block that follows each "```sh" block before the next one, by the index of the
/// "```sh" block: what its commands print.
std::map<std::size_t, std::string> PrintedTexts(const std::string& text) {
  std::map<std::size_t, std::string> out;
  std::istringstream in(text);
  std::size_t shells = 0;        // "```sh" blocks so far
  bool open = false, waiting = false;  // inside a block; the last "```sh" block has no text yet
  std::string* into = nullptr;   // the text block being read
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("```", 0) == 0) {
      if (!open && line == "```sh") ++shells, waiting = true;
      else if (!open && line == "```text" && waiting) into = &out[shells - 1], waiting = false;
      if (open) into = nullptr;
      open = !open;
    } else if (into) {
      *into += line + "\n";
    }
  }
  return out;
}

/// The words of a text (tabs and blanks alike).
std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

/// Runs the blocks after the set-up commands that `need` selects, as the file header says.
void RunBlocks(const std::string& need) {
  const auto blocks = Readme();
  ASSERT_GT(blocks.size(), 2u);
  const auto printed = PrintedTexts(ReadFile((kTop / "README.md").string()));
  ScratchTree tree;
  int ran = 0;
  for (std::size_t i = 2; i < blocks.size(); ++i) {
    if (Needs(blocks[i]) != need) continue;
    std::string script;
    for (const std::string& line : blocks[i]) script += (Builds(line) ? ": " : "") + line + "\n";
    SCOPED_TRACE(script);
    const Outcome r = Shell(script, tree.top().string(), tree.folder());
    EXPECT_EQ(r.status, 0) << r.err << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
    if (printed.count(i)) {
      EXPECT_EQ(r.out, printed.at(i)) << "the output the README shows";
    }
    ++ran;
  }
  if (need.empty()) {
    EXPECT_GT(ran, 0) << "no command after the set-up commands";
  }
  for (const std::string& path : tree.ChangedOutsideBuild()) ADD_FAILURE() << "written outside build/: " << path;
}

TEST(Readme, OpensWithTheTwoSetUpCommands) {
  // The first builds the program and runs an example of examples/ with its report; the second is
  // CI's first step, word for word.
  const auto blocks = Readme();
  ASSERT_GE(blocks.size(), 2u);
  ASSERT_EQ(blocks[0].size(), 1u);
  ASSERT_EQ(blocks[1].size(), 1u);
  const std::string& first = blocks[0][0];
  EXPECT_EQ(first.rfind("sh scripts/deps.sh && ", 0), 0u) << first;
  const std::size_t cp = first.find("cp examples/");
  ASSERT_NE(cp, std::string::npos) << first;
  const std::string example = first.substr(cp + 12, first.find(' ', cp + 12) - cp - 12);
  EXPECT_TRUE(fs::exists(kTop / "examples" / example)) << example;
  EXPECT_NE(first.find("report.py " + example), std::string::npos) << first;
  EXPECT_EQ(blocks[1][0].rfind("sh scripts/deps.sh && ", 0), 0u) << blocks[1][0];
  EXPECT_NE(ReadFile((kTop / ".ci/run").string()).find("\n" + blocks[1][0] + "\n"), std::string::npos)
      << ".ci/run does not run " << blocks[1][0];
}

TEST(Readme, CommandsRunAsWritten) { RunBlocks(""); }

TEST(Readme, QuotedLinesOfTheExamplesAreTheirRuns) {
  std::string text = ReadFile((kTop / "README.md").string());
  for (char& c : text)
    if (c == '\n') c = ' ';  // a quote may be wrapped
  const std::regex quote("the last line of `examples/([A-Za-z0-9_]+)`'s `(\\.[a-z]+)`, `([^`]+)`");
  int quotes = 0;
  for (std::sregex_iterator m(text.begin(), text.end(), quote), end; m != end; ++m, ++quotes) {
    const std::string name = (*m)[1], file = name + (*m)[2].str();
    SCOPED_TRACE(file);
    Folder dir;
    dir.write(name, ReadFile((kTop / "examples" / name).string()));
    ASSERT_EQ(dir.olvu({"-name", name}).status, 0) << dir.read(name + ".err");
    const std::string table = dir.read(file);
    const std::size_t last = table.find_last_not_of("\t\n");
    ASSERT_NE(last, std::string::npos) << file << " is empty";
    const std::size_t start = table.rfind('\n', last);
    const std::size_t from = start == std::string::npos ? 0 : start;
    EXPECT_EQ(Words(table.substr(from, last + 1 - from)), Words((*m)[3]));
  }
  EXPECT_GT(quotes, 0) << "no quoted line found: the quote's form changed";
}

TEST(Readme, FuzzerCommandsRunAsWritten) {
  if (!fs::exists(fs::path(OLVU_EXE).parent_path() / "fuzz/olvu_fuzz_function"))
    GTEST_SKIP() << "this build has no fuzzers (-DOLVU_FUZZ=ON builds them)";
  RunBlocks("fuzzers");
}

TEST(Readme, GmshCommandsRunAsWritten) {
  // The three-dimensional cylinder: its coarse mesh to its figures, about 15 s at -O2.
  if (kCheckedBuild) GTEST_SKIP() << "the three-dimensional cylinder runs in the release build only";
  if (!GmshInstalled()) GTEST_SKIP() << "gmsh is not installed (sh scripts/deps.sh examples installs it)";
  RunBlocks("gmsh");
}

}  // namespace
}  // namespace olvu_test
