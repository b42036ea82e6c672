// The folder listing of a folder full of downloads: the archive list reads it
// from kivo.tmp (the listing command plays the input back).
#include "archive/archive.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::write_input(fuzz::kListingInput, data, size);
  auto s = fuzz::fresh_state();
  sy_get_pk3_list(*s->run, s->pk3_list.data(), static_cast<int>(kNameChars),
                  kPk3Slots);
  // A shorter list too, so the end mark lands early.
  name_field small[4];
  sy_get_pk3_list(*s->run, small, 8, 4);
  return 0;
}
