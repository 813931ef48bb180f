// Entry point of the browser; grows into the full start-up sequence.
int main() { return 0; }
