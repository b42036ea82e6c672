// Whole runs in this process on the fake host, one for each folder under
// tests/runs: folders that someone else filled, with archives from anywhere,
// a hand-edited or broken kivo.cfg, tools missing, the program's own names
// taken. A case is data only:
//   folder/      the game folder; a folder named *.pk3 in it is an archive
//                of the files it holds
//   args         the command line's arguments, one line (may be absent)
//   missing      tools that are not there, one line (may be absent)
//   posix-only   present when the folder holds names that differ only in
//                case, which a Windows host cannot keep apart
//   printed.txt  "status N", then what the run printed
//   expected/    the folder after the run; kivo.pk3 as the fake host's text
// KIVO_UPDATE_RUNS=1 writes printed.txt and expected/ from what the runs
// did, to be reviewed before they are committed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "support/fake_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

std::string without_cr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// Every file under `from` without '\r' (but kivo.tmp): path -> content; an
// archive of the fake host is its text, its members without '\r' too.
test::Tree files(const fs::path& from) {
  test::Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(from)) {
    const std::string path = e.path().lexically_relative(from).generic_string();
    if (!e.is_regular_file() || path == "kivo.tmp") continue;
    test::FakeMembers members = test::read_fake_pk3(e.path().string());
    for (auto& [member, content] : members) content = without_cr(content);
    tree[path] = members.empty() ? without_cr(test::read_file(e.path()))
                                 : test::fake_pk3_text(members);
  }
  return tree;
}

std::vector<std::string> words(const fs::path& file) {
  std::istringstream in(test::read_file(file));
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The command lines of a run, one a line.
std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Both command sets' test binaries run every case; each set's command
// lines are recorded for it. What the run printed and left is the same for
// both, unless the case holds "printed-dos.txt" and "expected-dos/" for
// names only one set refuses.
TEST(Runs, EveryCaseEndsAsRecorded) {
  const bool update = std::getenv("KIVO_UPDATE_RUNS") != nullptr;
  const std::string set = kDosCommands ? "dos" : "unix";
  int cases = 0;
  for (const auto& c : fs::directory_iterator(test::kRuns)) {
    ++cases;
    if (test::kIsWindowsHost && fs::exists(c.path() / "posix-only")) continue;
    test::ScratchDir dir;
    if (fs::exists(c.path() / "folder")) test::make_folder(c.path() / "folder");
    const auto missing = words(c.path() / "missing");
    test::Outcome o =
        test::run_main(words(c.path() / "args"), test::Fault::kNone, 0,
                       {missing.begin(), missing.end()});
    const std::string printed =
        without_cr("status " + std::to_string(o.status) + "\n" + o.out);
    const test::Tree after = files(".");
    const std::string name = c.path().filename().string();
    fs::path printed_file = c.path() / "printed.txt";
    fs::path expected = c.path() / "expected";
    if (kDosCommands && (update || fs::exists(c.path() / "printed-dos.txt"))) {
      printed_file = c.path() / "printed-dos.txt";
      expected = c.path() / "expected-dos";
    }
    if (update) {
      test::write_file(c.path() / ("commands-" + set + ".txt"),
                       joined(o.lines));
      fs::remove_all(expected);
      fs::remove(printed_file);
      if (kDosCommands &&
          printed == test::read_file(c.path() / "printed.txt") &&
          after == files(c.path() / "expected"))
        continue;  // the same as the Unix set's
      test::write_file(printed_file, printed);
      for (const auto& [path, content] : after)
        test::write_file(expected / path, content);
      continue;
    }
    EXPECT_EQ(printed, test::read_file(printed_file)) << name;
    EXPECT_EQ(after, files(expected)) << name;
    EXPECT_EQ(joined(o.lines),
              test::read_file(c.path() / ("commands-" + set + ".txt")))
        << name;
  }
  EXPECT_GT(cases, 10);
}

}  // namespace
