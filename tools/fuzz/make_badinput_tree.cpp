// Writes the bad-input picture tree of the test suite into DIR, so that a whole run over it
// can be measured: pixamond generate DIR --name NAME, under /usr/bin/time -v for its peak
// memory.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/badinput_tree.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_badinput_tree DIR\n");
    return 2;
  }
  for (const pix::test::TreeFile& file : pix::test::BadInputTree()) {
    const std::filesystem::path path = std::filesystem::path(argv[1]) / file.name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << file.bytes;
  }
  return 0;
}
