// An archive listing as unzip prints it, for an archive from anywhere: the
// content scan reads it from kivo.tmp (the listing command plays the input
// back), and the input also goes to parse_player_name as one file name.
#include <cstring>
#include <string>

#include "archive/archive.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  name_field skin;
  parse_player_name(file.c_str(), skin);
  parse_player_name(nullptr, skin);

  fuzz::write_input(fuzz::kListingInput, data, size);
  auto s = fuzz::fresh_state();
  s->pk3_list[0].set("add-on.pk3");
  s->pk3_list[1].clear();
  gd_get_models_players_aifiles(*s);
  return 0;
}
