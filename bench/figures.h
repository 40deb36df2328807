// What the helper library's and the program's benchmarks share: the
// options of a benchmark measured in rounds, and the median of one figure
// over the rounds.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// A positive number of at most 3600 (seconds, rounds), or false.
inline bool ReadOptionValue(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value > 0 && value <= 3600;
}

struct RoundOptions {
    double SettleSeconds; // --settle S
    double MeasureSeconds; // --measure S
    int Rounds; // --rounds N
};

// Takes the value of --settle, --measure or --rounds; false for another
// name, or a value that is no positive number up to 3600.
inline bool ReadRoundOption(const std::string& name, const char* text, RoundOptions& options)
{
    double value = 0;
    if (!ReadOptionValue(text, value))
        return false;
    if (name == "--settle")
        options.SettleSeconds = value;
    else if (name == "--measure")
        options.MeasureSeconds = value;
    else if (name == "--rounds")
        options.Rounds = static_cast<int>(value);
    else
        return false;
    return true;
}

// 0 when there are no values.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace bench
