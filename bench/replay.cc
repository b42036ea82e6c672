// Replays a file of shell command lines, one per line, each through
// std::system as the program runs them, with no other work in between: the
// time the host's tools alone take for a folder.
// Usage: kivo_replay <file of command lines>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file of command lines>\n", argv[0]);
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "r");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 2;
  }
  // Every line is read before the first command runs, so the loop below
  // does nothing but start commands.
  std::vector<std::string> lines;
  std::string line;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
      continue;
    }
    lines.push_back(line);
    line.clear();
  }
  std::fclose(f);
  if (!line.empty()) lines.push_back(line);

  auto start = std::chrono::steady_clock::now();
  for (const std::string& l : lines) {
    std::fflush(stdout);
    std::system(l.c_str());
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::fprintf(stderr, "replayed %zu command lines in %.3f s\n", lines.size(),
               took.count());
  return 0;
}
