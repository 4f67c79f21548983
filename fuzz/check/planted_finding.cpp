// A target that finds something at once, for the test that a finding fails
// its run: libFuzzer exits 77 on a finding unless told otherwise, which the
// fuzz tests take as "skipped".
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* /*data*/, std::size_t size) {
    if (size > 0) {
        std::abort();
    }
    return 0;
}
