// The floor of any process on this machine: a C++ program that links no
// library beyond the standard one and ends at once.

int main() {
    return 0;
}
