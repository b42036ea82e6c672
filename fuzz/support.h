// support.h: what the fuzz targets share: a scratch folder to work in, a
// command runner that plays back the input as a listing, and a file written
// from the input.
#ifndef KIVO_FUZZ_SUPPORT_H
#define KIVO_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/core.h"

namespace fuzz {

// What a listing command "prints" into kivo.tmp: the target writes its input
// here, and the runner copies it over the list file the command would write.
inline constexpr char kListingInput[] = "fuzz.listing";

// Makes a fresh temporary folder the current folder for the process, sends
// the program's own standard output to /dev/null and replaces the command
// runner with one that runs nothing but plays back kListingInput. Call once,
// from LLVMFuzzerInitialize.
void enter_scratch_folder();
// Writes exactly `size` bytes of `data` to `path` in the current folder.
void write_input(const char* path, const std::uint8_t* data, std::size_t size);
// A State as the program makes it, with a fixed seed so runs repeat.
std::shared_ptr<State> fresh_state();

}  // namespace fuzz

#endif  // KIVO_FUZZ_SUPPORT_H
