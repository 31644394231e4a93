#include <cstdio>

int wmain(int, wchar_t**) { std::puts("zorvtool 0.1.0"); return 0; }
