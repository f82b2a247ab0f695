// Fuzzing the two name readers, the driver's and the board model's, against the rule of
// tests/names_oracle.h: no name gets a voltage that a part it could stand for cannot take.
// Built only on request (cmake -DVANTREL_FUZZ=ON): with clang a libFuzzer target, with any
// other compiler a program that checks each line of its standard input. A broken rule
// aborts with the name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/names_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    if (name.find('\0') != std::string::npos)
        return 0; // no command line carries one
    const std::string broken = names::check_name(name);
    if (!broken.empty()) {
        std::fprintf(stderr, "'%s': %s\n", name.c_str(), broken.c_str());
        std::abort();
    }
    return 0;
}

#ifndef VANTREL_LIBFUZZER
int main() {
    char line[4096];
    unsigned long n = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
            name.pop_back();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(name.data()), name.size());
        n++;
    }
    std::printf("%lu names keep the rule\n", n);
    return 0;
}
#endif
