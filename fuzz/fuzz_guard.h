// What a fuzz target accepts as a clear refusal of hostile input.
//
// Any error of the std::exception family is a refusal, except the two that
// mean a size taken from the input was trusted: std::bad_alloc and
// std::length_error. Those, and anything thrown that is no std::exception,
// abort so that libFuzzer records the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

[[noreturn]] inline void FuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz target failure: %s\n", what);
    std::abort();
}

// Checks a property the code promises; aborts when it does not hold.
inline void FuzzCheck(bool condition, const char* what) {
    if (!condition) FuzzFail(what);
}

template <class F>
void RunGuarded(F&& body) {
    try {
        body();
    } catch (const std::bad_alloc&) {
        FuzzFail("std::bad_alloc: an allocation sized from the input");
    } catch (const std::length_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FuzzFail("std::length_error: a length taken from the input");
    } catch (const std::exception&) {
        // A clear error: what hostile input should get.
    } catch (...) {
        FuzzFail("an exception that is no std::exception");
    }
}

// A fuzz input as parts separated by NUL bytes: the first parts - 1 pieces
// up to a NUL each, the last piece the rest; missing parts are empty.
inline std::vector<std::string> SplitFuzzInput(std::string_view input, size_t parts) {
    std::vector<std::string> out;
    while (out.size() + 1 < parts) {
        const size_t nul = input.find('\0');
        if (nul == std::string_view::npos) break;
        out.emplace_back(input.substr(0, nul));
        input.remove_prefix(nul + 1);
    }
    out.emplace_back(input);
    out.resize(parts);
    return out;
}

}  // namespace tlvx
