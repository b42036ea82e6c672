// A disk that fills up while a run works: on a small file system of its
// own (a tmpfs of 1 MB, which only root may mount), the player's folder is
// run with 0 to 40 KB left free, every 4 KB, so that the disk runs out at
// each step around the loan of scripts: the journal, the program's own
// folder and its token, the extraction, the bot files, and midway through
// the backup of a kivo.cfg of tens of KB. The player's scripts must be back
// as it was after that run, kivo.cfg the old or a whole new file, and a
// backup of it the whole old file, never a part; after a run with room
// again, nothing of the program's may be left, and the run must end cleanly.
#ifndef _WIN32

#include <sys/mount.h>
#include <unistd.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// A tmpfs of 1 MB mounted at `at` for the object's life.
struct SmallDisk {
  explicit SmallDisk(const fs::path& at) : path(at) {
    fs::create_directory(path);
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~SmallDisk() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
  fs::path path;
  bool mounted = false;
};

TEST(DiskFull, ThePlayersFilesAreGivenBackWhole) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to mount a small disk";
  const test::ScratchDir dir;
  const SmallDisk disk(dir.path / "disk");
  if (!disk.mounted) GTEST_SKIP() << "no tmpfs can be mounted here";
  for (unsigned long long kb = 0; kb <= 40; kb += 4) {
    const fs::path game = disk.path / "game";
    fs::remove_all(disk.path / "filler");
    fs::remove_all(game);
    fs::create_directory(game);
    fs::current_path(game);
    test::make_folder(test::kCases / "player-folder/folder");
    const test::Tree scripts = test::folder("scripts");
    // A kivo.cfg of tens of KB: a long block of the player's notes.
    test::shell("yes '// a note of the player' | head -n 1500 >>kivo.cfg");
    const std::string cfg = test::read_file("kivo.cfg");
    // The disk filled until `kb` KB are left free.
    test::shell("cd '" + disk.path.string() +
                "' && n=$(($(stat -f -c '%a*%S' .) - " +
                std::to_string(kb * 1024) +
                ")) && [ $n -gt 0 ] && head -c $n /dev/zero >filler");
    int status = 0;
    const std::string out = test::run_program({}, &status);
    const std::string where = std::to_string(kb) + " KB free\n" + out;
    EXPECT_EQ(test::folder("scripts"), scripts) << where;
    EXPECT_FALSE(fs::exists("tscripts")) << where;
    EXPECT_TRUE(!fs::exists("kivo.cfg.bak") ||
                test::read_file("kivo.cfg.bak") == cfg)
        << "kivo.cfg.bak is not the whole old kivo.cfg, " << where;
    const std::string cfg_after = test::read_file("kivo.cfg");
    fs::remove(disk.path / "filler");
    const std::string again = test::run_program({}, &status);
    // kivo.cfg is the old file or a whole new one, which a run with room keeps.
    EXPECT_TRUE(cfg_after == cfg || cfg_after == test::read_file("kivo.cfg"))
        << "kivo.cfg is neither the old nor a whole new file, " << where;
    EXPECT_EQ(status, 0) << where << again;
    EXPECT_EQ(test::folder("scripts"), scripts) << where << again;
    for (const char* own : {"tscripts", "kivo.stmp", "kivo.ztmp", "kivo.kept",
                            "kivo.lock", "kivo.cfg.tmp"})
      EXPECT_FALSE(fs::exists(fs::symlink_status(own))) << own << ", " << where;
    fs::current_path(dir.path);
  }
}

}  // namespace

#endif  // _WIN32
