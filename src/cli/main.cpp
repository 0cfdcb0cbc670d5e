#include <cstdio>
int main() {
  std::puts("usage: scrivane-print");
  return 0;
}
