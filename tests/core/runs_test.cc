// Whole runs in this process with the host's own shell, unzip and zip, one
// for each folder under tests/runs, each a test named by the folder (ctest
// -R archive-first-run runs one): folders that someone else filled, with
// archives from anywhere, a hand-edited or broken kivo.cfg, tools missing,
// the program's own names taken. A case is
//   folder/      the game folder; each folder named *.pk3 in it becomes a
//                zip archive of what it holds
//   posix-only   there when only a POSIX file system can hold the folder or
//                its permission bits
//   case         written by hand: a comment saying what the case is about,
//                then the few facts that are its point, one a line:
//     args WORD...         the command line's arguments
//     missing TOOL...      tools that are not there
//     chmod PATH BITS      the file at PATH has these permission bits (octal)
//                          before the run
//     status N             the exit status (0 when none is given)
//     swap N OPERATION PATH FILE [over]  just before the run asks the host
//                          the Nth time for OPERATION on PATH ("identify
//                          kivo.cfg"), PATH is replaced by a new file with
//                          the text of the folder's FILE, or with "over" the
//                          text is written over PATH's own: what the player
//                          does while a run works
//     prints WORDS         a line the run printed holds these words in a row
//     cfg WORDS            a line of kivo.cfg holds them
//     pk3 MEMBER [WORDS]   kivo.pk3 holds the member (and a line of it WORDS)
//     pk3-text MEMBER FILE the member's words are those of FILE, a file of
//                          the case beside "case", in order and no others
//     runs WORDS           a command line of the run holds them; checked
//                          with the Unix command set only
//     same PATH [FROM]     what is at PATH, a file or a whole folder, is byte
//                          for byte (and mode) what was at FROM (or PATH)
//                          before the run
//     exists PATH          something is at PATH after the run
//     mode PATH BITS       the file at PATH has these permission bits after
// Each fact with "-not" after its word says the opposite ("cfg-not x": no
// line of kivo.cfg holds x). Words are what blanks separate, so the widths
// of columns do not count, and "*" stands for any one word. A fact that
// begins with "unix" or "dos" is checked with that command set only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

Words words(const std::string& text) {
  std::istringstream in(text);
  Words out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// True when a line of `text` holds the words of `fact` in a row.
bool holds(const std::string& text, const Words& fact) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const Words w = words(line);
    for (std::size_t i = 0; i + fact.size() <= w.size(); ++i)
      if (std::equal(fact.begin(), fact.end(), w.begin() + i,
                     [](const std::string& f, const std::string& word) {
                       return f == "*" || f == word;
                     }))
        return true;
  }
  return false;
}

// What `tree` holds at `path` and below it, by the path below it.
test::Tree under(const test::Tree& tree, const std::string& path) {
  test::Tree out;
  for (const auto& [p, what] : tree)
    if (p == path || p.starts_with(path + "/"))
      out[p.substr(path.size())] = what;
  return out;
}

// What kivo.pk3 holds: each member's path alone, then before each line of it.
std::string pk3_lines() {
  std::string text;
  for (const auto& [member, content] : test::members("kivo.pk3")) {
    std::istringstream in("\n" + content);
    for (std::string line; std::getline(in, line);)
      text += member + " " + line + "\n";
  }
  return text;
}

std::vector<std::string> cases() {
  std::vector<std::string> names;
  for (const auto& c : fs::directory_iterator(test::kCases))
    names.push_back(c.path().filename().string());
  return names;
}

class Case : public ::testing::TestWithParam<std::string> {};

TEST_P(Case, HoldsItsFacts) {
  const fs::path c = test::kCases / GetParam();
  const std::string text = test::read_file(c / "case");
  if (test::kIsWindowsHost && fs::exists(c / "posix-only"))
    GTEST_SKIP() << "only a POSIX file system can hold this folder";
  std::map<std::string, Words> given;  // args, missing, chmod, status, swap
  std::vector<std::string> facts;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const Words w = words(line);
    if (w.empty() || w[0].starts_with("#")) continue;
    if (w[0] == "args" || w[0] == "missing" || w[0] == "status" ||
        w[0] == "chmod" || w[0] == "swap")
      given[w[0]].assign(w.begin() + 1, w.end());
    else
      facts.push_back(line);
  }
  EXPECT_FALSE(facts.empty());
  test::ScratchDir dir;
  if (fs::exists(c / "folder")) test::make_folder(c / "folder");
  if (const Words& m = given["chmod"]; !m.empty())
    fs::permissions(m.at(0), fs::perms(std::stoi(m.at(1), nullptr, 8)));
  const test::Tree before = test::folder();
  const Words& missing = given["missing"];
  if (const Words swap = given["swap"]; !swap.empty())
    test::each_operation = [&, swap, asked = 0]() mutable {
      if (test::operation != swap[1] + " " + swap[2] ||
          ++asked != std::stoi(swap[0]))
        return;
      if (swap.size() < 5) fs::remove(dir.path / swap[2]);
      test::write_file(dir.path / swap[2], test::read_file(dir.path / swap[3]));
    };
  const test::Outcome o = test::run_main(given["args"], test::Fault::kNone, 0,
                                         {missing.begin(), missing.end()});
  test::each_operation = nullptr;
  const Words& status = given["status"];
  EXPECT_EQ(o.status, status.empty() ? 0 : std::stoi(status[0])) << o.out;
  const test::Tree after = test::folder();
  std::map<std::string, std::string> seen = {
      {"prints", o.out}, {"cfg", test::read_file("kivo.cfg")}};
  for (const std::string& line : o.lines) seen["runs"] += line + "\n";
  for (const std::string& line : facts) {
    Words w = words(line);
    if (w[0] == (kDosCommands ? "unix" : "dos")) continue;
    if (w[0] == "unix" || w[0] == "dos") w.erase(w.begin());
    const bool negated = w[0].ends_with("-not");
    const std::string kind = w[0].substr(0, w[0].size() - (negated ? 4 : 0));
    w.erase(w.begin());
    if (kind == "runs" && kDosCommands) continue;
    if (kind == "pk3" && !seen.contains(kind)) seen[kind] = pk3_lines();
    bool held = false;
    if (seen.contains(kind))
      held = holds(seen[kind], w);
    else if (kind == "exists")
      held = fs::exists(fs::symlink_status(w.at(0)));
    else if (kind == "pk3-text")
      held = words(test::members("kivo.pk3")[w.at(0)]) ==
             words(test::read_file(c / w.at(1)));
    else if (kind == "mode")  // octal, as chmod takes it
      held = test::entry(w.at(0)).starts_with(
          "f" + std::to_string(std::stoi(w.at(1), nullptr, 8)) + ":");
    else if (kind == "same")  // FROM is the last word
      held = !under(before, w.back()).empty() &&
             under(before, w.back()) == under(after, w.at(0));
    else
      ADD_FAILURE() << "no such fact: " << kind;
    EXPECT_NE(held, negated) << line;
  }
}
// A test for each case, named by its folder with "_" for "-" (ctest's name,
// in tests/CMakeLists.txt, is the folder's own).
INSTANTIATE_TEST_SUITE_P(Runs, Case, ::testing::ValuesIn(cases()), [](auto& i) {
  std::string name = i.param;
  std::ranges::replace(name, '-', '_');
  return name;
});

}  // namespace
