// Program entry (placeholder until the window exists).
#include <cstdio>
int main() { return 0; }
