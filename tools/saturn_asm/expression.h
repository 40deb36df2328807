// The assembler's expressions: numbers, names and $, with C's operators.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace saturn {

// A fault in the source, reported with the statement's file and line.
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Looks a name up; throws SourceError when it has no value (yet).
using NameResolver = std::function<int64_t(const std::string&)>;

// Evaluates the whole text; throws SourceError on any fault.
int64_t Evaluate(std::string_view text, const NameResolver& resolve, int64_t here);

bool IsNameStart(char c);
bool IsNameChar(char c);

} // namespace saturn
