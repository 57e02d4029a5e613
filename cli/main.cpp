// SCAFFOLD
int main() { return 0; }
