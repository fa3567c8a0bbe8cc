// A program with no resources at all: the icon-file tests need a PE file that
// holds no icons.
int main() {
  return 0;
}
