// Runs a fuzz target without libFuzzer, for the tests: each file named on the
// command line goes to the target whole, cut short at every length, and with
// each byte in turn set to 0, 255 and its own value with the high bit
// flipped. The inputs are fixed, so a run is the same every time; a crash or
// a sanitizer report fails it. Prints how many inputs it ran.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Each input in a buffer of its own size, so the address sanitizer sees a
// read past its end.
void run(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

size_t run_variants(std::vector<uint8_t>& bytes) {
    size_t count = 0;
    for (size_t n = 0; n <= bytes.size(); n++, count++) run(bytes.data(), n);
    for (size_t at = 0; at < bytes.size(); at++) {
        uint8_t kept = bytes[at];
        for (uint8_t v : {uint8_t(0), uint8_t(255), uint8_t(kept ^ 0x80)}) {
            bytes[at] = v;
            run(bytes.data(), bytes.size());
            count++;
        }
        bytes[at] = kept;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = 0;
    for (int i = 1; i < argc; i++) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        count += run_variants(bytes);
    }
    std::printf("%zu inputs\n", count);
    return 0;
}
