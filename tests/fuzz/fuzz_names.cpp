// Fuzzing the two name readers, the driver's and the board model's, against the rule of
// tests/names_oracle.h: no name gets a voltage that a part it could stand for cannot take.
// A libFuzzer target, built only on request (see CMakeLists.txt here); a broken rule aborts
// with the name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/names_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string broken = name.find('\0') == std::string::npos ? names::check_name(name) : "";
    if (!broken.empty()) {
        std::fprintf(stderr, "'%s': %s\n", name.c_str(), broken.c_str());
        std::abort();
    }
    return 0;
}
