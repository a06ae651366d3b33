// Stands in for a converter that fails on every file: it writes nothing and
// exits with status 1, as a converter that cannot read its input does.
int main() {
    return 1;
}
