// The program of a layer check: it exists only to be linked with one layer whole.
int main() {
  return 0;
}
