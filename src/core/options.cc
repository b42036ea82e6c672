#include <cstdlib>
#include <cstring>

#include "core/core.h"

namespace {

// The two help texts, written one after the other; the blanks at the ends of
// the lines belong to the text.
constexpr const char* kHelpFirst =
    " \n"
    "kivorama 1.0,  bot organizer for quake 3 arena (Sep 30 2000), \n"
    "Usage: kivorama [-options [args] ] \n"
    "  The default action is to create bot association file 'kivo.pk3', by "
    "reading \n"
    "  the 'pk3' files currently in subcat 'baseq3', except for those in range "
    "\n"
    "  (pak0.pk3 -- pak9.pk3).  Random ai associations will be made as needed  "
    "\n"
    "  from the bots of tiers 1 to 5.  If 'kivo.cfg' exists (from a prior run "
    "\n"
    "  of kivorama) then those player attributes will be applied.  For more  \n"
    "  control, make changes directly to text file 'kivo.cfg', and then rerun  "
    "\n"
    "  kivorama. \n"
    "  -h  show this help text (for more info, see 'kivorama_doc.txt') \n"
    "  +a  [ pak0  red  blue  default others ]   player activation filter -- \n"
    "      with no args, all are activated; with one or more args, named  \n"
    "      groups are activated by matching the 'player', 'model' and "
    "'pk3file' \n"
    "      fields of the config file.  This filter is cumulative, and only  \n"
    "      affects set 0. \n"
    "  -a  [ pak0  red  blue  default others ]   player in-activation filter "
    "--  \n"
    "      Sames as '+a', except turns groups off. \n"
    "      examples:  'kivorama +a' 'kivorama +a red blue' 'kivorama -a pak0' "
    "\n";

constexpr const char* kHelpSecond =
    " \n"
    "  +r  <tier_lo> [ <tier_hi> ]  tier range -- define ai randomizer's tier  "
    "\n"
    "      level or tier range; default range is 1 5, valid range is 0 to 9,  "
    "\n"
    "      where 0 = crash, 6 = xero, and 7,8,9 = user-defined bot-ai able to  "
    "\n"
    "      beat hunter and xero.  Tier 9 is assigned to new, unranked bot-ai.  "
    " \n"
    "      You can re-assign tier levels to bot-ai in 'kivo.cfg'. \n"
    "      for example, to get all crash ai enter 'kivorama -r 0'; to set a \n"
    "      range of tiers, use 2 space separated integers, 'kivorama -r 2 4' \n"
    "  -r  <tier_lo> [ <tier_hi> ] same as +r, except this mode does not  \n"
    "      re-randomize; it only affects players with 'kivo.cfg' aifile set  \n"
    "      to 'default' \n"
    "  -s  <set_number>  player set -- define active set; default set = 0, "
    "valid  \n"
    "      range (0,8), max players per set = 63, set 9 is unselectable "
    "overflow. \n"
    "      player set assignment is done manually in config file 'kivo.cfg' \n";

bool is_option(const char* arg) { return arg[0] == '-' || arg[0] == '+'; }
bool starts_with_digit(const char* arg) { return is_digit(arg[0]); }

// Sets the flag of a group word (recognised by its first three characters)
// to `value`; other words change nothing.
void apply_group_word(State& s, const char* word, int value) {
  struct Group {
    const char* prefix;
    int State::*flag;
  };
  static constexpr Group kGroups[] = {{"pak", &State::use_pak0},
                                      {"red", &State::use_red},
                                      {"blu", &State::use_blue},
                                      {"def", &State::use_defa},
                                      {"oth", &State::use_others}};
  for (const Group& group : kGroups)
    if (std::strncmp(word, group.prefix, 3) == 0) s.*group.flag = value;
}

}  // namespace

int gd_help_requested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (is_option(argv[i]) && argv[i][1] == 'h') return 1;
  return 0;
}

void gd_show_help(int argc, char** argv) {
  if (!gd_help_requested(argc, argv)) return;
  std::fputs(kHelpFirst, stdout);
  std::fputs(kHelpSecond, stdout);
  std::exit(0);
}

void gd_parse_options(State& s, int argc, char** argv) {
  int i = 1;
  while (i < argc) {
    const char* arg = argv[i];
    if (!is_option(arg)) {
      ++i;
      continue;
    }
    int on = arg[0] == '+' ? 1 : 0;
    switch (arg[1]) {
      case 'a':
        // Group words up to the next option, which is then handled in turn.
        for (++i; i < argc && !is_option(argv[i]); ++i)
          apply_group_word(s, argv[i], on);
        continue;
      case 'o':
        s.ai_override = on;
        break;
      case 'r':
        s.ai_reset = on;
        if (i + 1 < argc && starts_with_digit(argv[i + 1]))
          s.tier_lo = leading_digits(argv[++i]);
        if (i + 1 < argc && starts_with_digit(argv[i + 1])) {
          s.tier_hi = leading_digits(argv[++i]);
          if (s.tier_hi < s.tier_lo) {
            int lower = s.tier_hi;
            s.tier_hi = s.tier_lo;
            s.tier_lo = lower;
          }
        } else {
          s.tier_hi = s.tier_lo;
        }
        std::printf("tier_lo=%d, tier_hi=%d\n", s.tier_lo, s.tier_hi);
        break;
      case 's':
        // The number itself is passed over by the scan like any word.
        if (i + 1 < argc && starts_with_digit(argv[i + 1])) {
          int set = leading_digits(argv[i + 1]);
          if (set >= 0 && set < kOverflowSet) s.use_set = set;
        }
        break;
      default:
        break;
    }
    ++i;
  }
}
