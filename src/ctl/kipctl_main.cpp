#include <cstdio>

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 2) std::fprintf(stderr, "usage: kipctl reg ...\n");
  return 1;
}
