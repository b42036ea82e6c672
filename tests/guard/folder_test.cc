// Which folders a run refuses because users other than the runner could
// change them, and what it says to each, from what the host tells of the
// folder.
#include <gtest/gtest.h>

#include "guard/guard.h"
#include "support/support.h"

namespace {

// The real host, but for what it tells of the folder.
class FolderHost final : public HostWrapper {
 public:
  FolderHost(const FolderAccess& access, int error)
      : HostWrapper(test::real_host()), access_(access), error_(error) {}
  int folder_access(const char*, FolderAccess& out) override {
    out = access_;
    return error_;
  }

 private:
  FolderAccess access_;
  int error_;
};

FolderAccess folder(long owner, const char* name, unsigned mode,
                    bool group_other = false, long runner = 1000,
                    const char* path = "/srv/q3/baseq3") {
  return {path, owner, name, runner, mode, group_other};
}

const std::string kOthers =
    "error: the folder '/srv/q3/baseq3' (owner 'ann', mode %s) can be "
    "changed by other users%s, so nothing was changed: let only its owner "
    "change it (chmod %s '/srv/q3/baseq3') and run again\n";

std::string others(const char* mode, const char* group, const char* chmod) {
  char text[512];
  std::snprintf(text, sizeof text, kOthers.c_str(), mode, group, chmod);
  return text;
}

// Of a folder of another user's, named `user`, typed as `typed` for sh.
std::string theirs(const std::string& user, const char* typed) {
  return "error: the folder '/srv/q3/baseq3' belongs to the user '" + user +
         "' (mode 0755), who could change it while this run works, so "
         "nothing was changed: run kivorama as '" +
         user + "' (sudo -u " + typed + " kivorama)\n";
}

// Each row: the folder as the host tells it, and what the run says ("" for
// a folder it works in). Only the runner (1000, ann) and root may change a
// folder that is run in; the sticky bit lets others still make names.
TEST(FolderCheck, WhoElseCouldChangeTheFolder) {
  const struct {
    FolderAccess access;
    int error;
    std::string said;
  } rows[] = {
      {folder(1000, "ann", 0755), 0, ""},
      {folder(0, "root", 0755), 0, ""},    // the lock then fails
      {folder(1000, "ann", 0775), 0, ""},  // a group of ann's alone
      {folder(1000, "ann", 01777), 0, others("1777", "", "o-w")},
      {folder(1000, "ann", 0775, true), 0,
       others("0775", " of its group", "g-w")},
      {folder(1000, "ann", 0777, true), 0, others("0777", "", "go-w")},
      {folder(0, "root", 02775, true, 0, "/srv/it's"), 0,
       "error: the folder '/srv/it's' (owner 'root', mode 2775) can be "
       "changed by other users of its group, so nothing was changed: let "
       "only its owner change it (chmod g-w '/srv/it'\\''s') and run "
       "again\n"},
      // The user typed for sh: plain if only letters, digits and ._- are in it
      {folder(5, "az-AZ_09.x", 0755, false, 0), 0,
       theirs("az-AZ_09.x", "az-AZ_09.x")},
      {folder(5, "ann@q3", 0755, false, 0), 0, theirs("ann@q3", "'ann@q3'")},
      {folder(1234, "", 0755), 0, theirs("1234", "'#1234'")},
      {FolderAccess{}, EACCES,
       "error: cannot find out who may change this folder (Permission "
       "denied); nothing was changed\n"},
  };
  for (const auto& row : rows) {
    FolderHost host(row.access, row.error);
    const auto s = test::fresh_state(1, &host);
    int safe = -1;
    EXPECT_EQ(test::printed([&] { safe = sy_folder_is_safe(*s->run); }),
              row.said)
        << row.access.path << " " << std::oct << row.access.mode;
    EXPECT_EQ(safe, row.said.empty() ? 1 : 0) << row.said;
    EXPECT_EQ(s->run->status.failed, row.said.empty() ? 0 : 1) << row.said;
  }
}

}  // namespace
