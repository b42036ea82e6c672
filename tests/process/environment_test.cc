// The built program under the variables a player's shell may export: the
// tools it runs print what it reads in one form, whatever they say.
#ifndef _WIN32

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// What a run printed and left in its folder.
struct Result {
  std::string out;
  int status = -1;
  test::Tree folder;
};

// The case player-folder, with an archive whose name needs quoting, is run
// once to choose every AI file; from there each run gets a fresh copy, under
// one hostile environment, and must print and leave exactly what a run
// under an empty one (but for PATH) does: ls's quoting, colours, columns and
// block sizes, the locale, unzip's and zip's options, the start-up script
// of a non-interactive shell and sh's own variables.
TEST(Environment, ThePlayersVariablesChangeNothing) {
  const test::ScratchDir dir;
  const fs::path model = dir.path / "model";
  fs::create_directory(model);
  fs::current_path(model);
  test::make_folder(test::kCases / "player-folder/folder");
  test::make_pk3("my bots.pk3",
                 {{"models/players/ranger/head.md3", "m"},
                  {"models/players/ranger/head_blue.skin", "s"}});
  const std::string clean = "env -i PATH=\"$PATH\"";
  int status = -1;
  const std::string first = test::run_program({}, &status, clean);
  ASSERT_EQ(status, 0) << first;
  // Read by bash as sh, and by some shells as sh, before every command.
  test::write_file(dir.path / "hook", "echo hooked.pk3; touch hooked\n");
  const std::string hook = "'" + (dir.path / "hook").string() + "'";

  int runs = 0;
  const auto run_under = [&](const std::string& env) {
    const fs::path copy = dir.path / ("run" + std::to_string(++runs));
    fs::create_directory(copy);
    test::copy_into(model, copy);
    fs::current_path(copy);
    Result r;
    r.out = test::run_program({}, &r.status, env);
    r.folder = test::folder();
    fs::current_path(dir.path);
    return r;
  };
  const Result want = run_under(clean);
  ASSERT_EQ(want.status, 0) << want.out;
  ASSERT_NE(test::at(want.folder, "kivo.pk3"), "");
  for (const std::string& env : std::vector<std::string>{
           "QUOTING_STYLE=shell-always",
           "QUOTING_STYLE=shell",
           "QUOTING_STYLE=c",
           "LS_COLORS='*.pk3=01;31:di=01;34' CLICOLOR_FORCE=1 COLUMNS=20",
           "LC_ALL=C.UTF-8 LANG=C.UTF-8 LC_COLLATE=C.UTF-8",
           "TIME_STYLE=+%s TZ=Pacific/Chatham TABSIZE=1",
           "POSIXLY_CORRECT=1 BLOCK_SIZE=1 LS_BLOCK_SIZE=1K",
           "UNZIP='-d ..' UNZIPOPT=-j ZIP=-j ZIPOPT='-b /' ZIPINFO=-1",
           "UNZIP_OPTS=-j ZIP_OPTS=-j ZIPINFOOPT=-1",
           "BASH_ENV=" + hook + " ENV=" + hook,
           "IFS=p CDPATH=/",
       }) {
    const Result got = run_under(env);
    EXPECT_EQ(got.status, want.status) << env << "\n" << got.out;
    EXPECT_EQ(got.out, want.out) << env;
    EXPECT_EQ(got.folder, want.folder) << env << "\n" << got.out;
  }
  // Nothing landed beside the copies.
  EXPECT_EQ(test::shell("ls '" + dir.path.string() + "' | grep -v '^run'"),
            "hook\nmodel\n");
}

}  // namespace

#endif  // _WIN32
