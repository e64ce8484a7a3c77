// The baseline of startup_bench: a C++ program that does nothing.
int main() { return 0; }
