// The start-up anchor of the whole-run benchmark (tools/bench/run): a C++ program without
// Qt that prints one line, as `pixamond --version` does.
#include <iostream>

int main() {
  std::cout << "hello\n";
  return 0;
}
