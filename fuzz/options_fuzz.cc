// The command line: the input, split at NUL bytes and line ends, is the
// argument vector after the program name.
#include <string>
#include <vector>

#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::vector<std::string> words{"kivorama"};
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\0' || c == '\n') {
      words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (size > 0) words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(words.size());

  auto s = fuzz::fresh_state();
  gd_help_requested(argc, argv.data());
  gd_parse_options(*s, argc, argv.data());
  return 0;
}
