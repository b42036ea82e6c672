// The player's guide against the sources: every message the program prints,
// every option letter, every flag of kivo.cfg and every status letter must
// be described in kivorama_doc.txt. Everything is collected from src/, so a
// message added later fails here until the guide quotes it. (That its first
// run is what the program prints is checked with the built program.)
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSource = KIVO_SOURCE_DIR;

// The guide's text with every run of blanks and line ends made one blank,
// so that a message may wrap in the guide.
std::string flattened(const std::string& text) {
  std::string out;
  for (char c : text) {
    bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (!blank)
      out += c;
    else if (!out.empty() && out.back() != ' ')
      out += ' ';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

const std::string& guide() {
  static const std::string text = test::read_file(kSource / "kivorama_doc.txt");
  return text;
}

// One run of adjacent string literals of a source file, escapes resolved,
// with the code just before it.
struct Literal {
  std::string file, text, before;
};

// The string literals of one C++ source, comments and character literals
// skipped; adjacent literals ("a" "b") are one.
std::vector<Literal> literals_of(const fs::path& file) {
  static const std::regex token(
      R"re(//[^\n]*|/\*[\s\S]*?\*/|'(?:[^'\\]|\\.)*'|"((?:[^"\\]|\\.)*)")re");
  const std::string code = test::read_file(file);
  std::vector<Literal> out;
  std::size_t end = 0;  // of the last literal
  for (std::sregex_iterator m(code.begin(), code.end(), token), last; m != last;
       ++m) {
    if (!(*m)[1].matched) continue;
    const std::string raw = (*m)[1].str();
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      char c = raw[i];
      if (c == '\\') c = raw[++i], c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
      text += c;
    }
    const std::size_t at = static_cast<std::size_t>(m->position());
    const std::string between = code.substr(end, at - end);
    if (!out.empty() && between.find_first_not_of(" \n\t") == std::string::npos)
      out.back().text += text;
    else
      out.push_back({file.filename().string(), text,
                     code.substr(at > 60 ? at - 60 : 0, at > 60 ? 60 : at)});
    end = at + static_cast<std::size_t>(m->length());
  }
  return out;
}

std::vector<Literal> source_literals() {
  std::vector<Literal> all;
  for (const auto& e : fs::recursive_directory_iterator(kSource / "src")) {
    std::string ext = e.path().extension().string();
    if (ext != ".cc" && ext != ".h") continue;
    auto some = literals_of(e.path());
    all.insert(all.end(), some.begin(), some.end());
  }
  return all;
}

// The messages: literals that begin with a message prefix wherever they
// stand, and every format the program prints on the console.
std::vector<Literal> messages() {
  static const std::regex prefix(R"(^ *(error|err|warn|note): )");
  static const std::regex console(
      R"((^|[^\w])(printf|puts)\(\s*$|fprintf\(\s*stderr\s*,\s*$)");
  std::vector<Literal> out;
  for (const Literal& l : source_literals())
    if (std::regex_search(l.text, prefix) ||
        std::regex_search(l.before, console))
      out.push_back(l);
  return out;
}

// An "error: " line sets the exit status: each one is said by say_error or
// fail_run, never printed directly.
TEST(Guide, EveryErrorLineCountsTowardTheExitStatus) {
  static const std::regex said(R"((say_error|fail_run)\(\s*$)");
  for (const Literal& l : source_literals()) {
    if (l.text.starts_with("error: ")) {
      EXPECT_TRUE(std::regex_search(l.before, said))
          << l.file << ": \"" << l.text << "\" is printed, not said";
    }
  }
}

TEST(Guide, QuotesEveryMessage) {
  const std::string text = flattened(guide());
  // The fixed pieces between the conversions must all be there; "'x.pk3'"
  // in the guide stands for "'%s'".
  static const std::regex conversion(
      R"(%[-+ #0]*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|z)?[diouxXcsp])");
  auto found = messages();
  EXPECT_GT(found.size(), 40u);  // the collection works
  for (const Literal& m : found) {
    std::sregex_token_iterator piece(m.text.begin(), m.text.end(), conversion,
                                     -1),
        end;
    for (; piece != end; ++piece) {
      std::string fixed = flattened(*piece);
      if (fixed.size() < 2) continue;
      EXPECT_NE(text.find(fixed), std::string::npos)
          << m.file << ": the guide does not quote \"" << fixed
          << "\" of the message \"" << m.text << "\"";
    }
  }
}

// Every match of group 1 of `pattern` in the sources.
std::set<std::string> found_in_sources(const std::regex& pattern) {
  std::set<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(kSource / "src")) {
    const std::string code = test::read_file(e.path());
    for (std::sregex_iterator m(code.begin(), code.end(), pattern), end;
         m != end; ++m)
      out.insert((*m)[1]);
  }
  return out;
}

TEST(Guide, DescribesEveryOptionFlagAndStatus) {
  const std::string& text = guide();
  // Option letters: the cases of the parser and the help check.
  auto letters = found_in_sources(std::regex(R"(case '([a-z])':)"));
  auto help = found_in_sources(std::regex(R"(\[1\] == '([a-z])')"));
  letters.insert(help.begin(), help.end());
  EXPECT_EQ(letters, (std::set<std::string>{"a", "h", "o", "r", "s"}));
  for (const std::string& letter : letters)
    for (const char* sign : {"-", "+"}) {
      std::regex option(std::string(R"((^|[^\w+-])\)") + sign + letter +
                        R"(([^\w]|$))");
      EXPECT_TRUE(std::regex_search(text, option))
          << "the guide names no option " << sign << letter;
    }
  // The flags of kivo.cfg, from the table reader and writer share.
  const std::string config = test::read_file(kSource / "src/config/config.h");
  const std::string table = config.substr(config.find("kConfigFlags[]"));
  std::regex flag(R"re(\{"(\w+)",)re");
  int flags = 0;
  for (std::sregex_iterator m(table.begin(), table.end(), flag), end; m != end;
       ++m, ++flags) {
    std::regex word("\\b" + (*m)[1].str() + "\\b");
    EXPECT_TRUE(std::regex_search(text, word))
        << "the guide does not describe the flag " << (*m)[1];
  }
  EXPECT_EQ(flags, 9);
  // Status letters: whatever a status is set to or compared with.
  auto statuses = found_in_sources(std::regex(
      R"((?:\bst\)?|lower_status\([^)]*\))\s*(?:==|!=|=)\s*'([A-Za-z])')"));
  EXPECT_GE(statuses.size(), 7u);
  for (const std::string& st : statuses) {
    // A row of the status table: the letter, then its meaning.
    std::regex row("\n {4,}" + st + " {2,}\\S");
    EXPECT_TRUE(std::regex_search(text, row))
        << "the guide's status table has no row for " << st;
  }
}

}  // namespace
