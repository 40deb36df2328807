#include "saturn_asm/expression.h"

#include <cctype>

namespace saturn {

bool IsNameStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

namespace {

// Recursive descent, loosest binding first: | ^ & (<< >>) (+ -) (* / %) unary.
class Parser {
public:
    Parser(std::string_view text, const NameResolver& resolve, int64_t here)
        : Text(text), Resolve(resolve), Here(here)
    {
    }

    int64_t parse()
    {
        const int64_t value = parseOr();
        skipSpace();
        if (At < Text.size())
            throw SourceError("unexpected '" + std::string(Text.substr(At)) + "' in expression");
        return value;
    }

private:
    void skipSpace()
    {
        while (At < Text.size() && std::isspace(static_cast<unsigned char>(Text[At])))
            ++At;
    }
    bool take(std::string_view token)
    {
        skipSpace();
        if (Text.substr(At, token.size()) != token)
            return false;
        At += token.size();
        return true;
    }

    int64_t parseOr()
    {
        int64_t value = parseXor();
        while (peekSingle('|'))
            value |= parseXor();
        return value;
    }
    int64_t parseXor()
    {
        int64_t value = parseAnd();
        while (peekSingle('^'))
            value ^= parseAnd();
        return value;
    }
    int64_t parseAnd()
    {
        int64_t value = parseShift();
        while (peekSingle('&'))
            value &= parseShift();
        return value;
    }
    int64_t parseShift()
    {
        int64_t value = parseSum();
        for (;;) {
            if (take("<<")) {
                const int64_t count = parseSum();
                value = count < 0 || count > 63 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(value) << count);
            } else if (take(">>")) {
                const int64_t count = parseSum();
                value = count < 0 || count > 63 ? 0 : value >> count;
            } else {
                return value;
            }
        }
    }
    int64_t parseSum()
    {
        int64_t value = parseProduct();
        for (;;) {
            if (take("+"))
                value = static_cast<int64_t>(static_cast<uint64_t>(value) + static_cast<uint64_t>(parseProduct()));
            else if (take("-"))
                value = static_cast<int64_t>(static_cast<uint64_t>(value) - static_cast<uint64_t>(parseProduct()));
            else
                return value;
        }
    }
    int64_t parseProduct()
    {
        int64_t value = parseUnary();
        for (;;) {
            if (take("*")) {
                value = static_cast<int64_t>(static_cast<uint64_t>(value) * static_cast<uint64_t>(parseUnary()));
            } else if (take("/") || take("%")) {
                const bool remainder = Text[At - 1] == '%';
                const int64_t divisor = parseUnary();
                if (divisor == 0)
                    throw SourceError("division by zero");
                if (divisor == -1)
                    value = remainder ? 0 : static_cast<int64_t>(0 - static_cast<uint64_t>(value));
                else
                    value = remainder ? value % divisor : value / divisor;
            } else {
                return value;
            }
        }
    }
    // Prefix operators are gathered in a loop, so that a long run of them
    // costs no stack.
    int64_t parseUnary()
    {
        std::string prefixes;
        for (;;) {
            if (take("-"))
                prefixes += '-';
            else if (take("~"))
                prefixes += '~';
            else if (!take("+"))
                break;
        }
        int64_t value = parsePrimary();
        for (auto op = prefixes.rbegin(); op != prefixes.rend(); ++op)
            value = *op == '-' ? static_cast<int64_t>(0 - static_cast<uint64_t>(value)) : ~value;
        return value;
    }
    int64_t parsePrimary()
    {
        skipSpace();
        if (At >= Text.size())
            throw SourceError("expression ends too early");
        const char c = Text[At];
        if (c == '(') {
            // Deep enough for any real expression, shallow enough for the stack.
            if (++Depth > 200)
                throw SourceError("parentheses nested too deeply");
            ++At;
            const int64_t value = parseOr();
            --Depth;
            if (!take(")"))
                throw SourceError("missing ')'");
            return value;
        }
        if (c == '$') {
            ++At;
            return Here;
        }
        if (c == '\'') {
            if (At + 2 >= Text.size() || Text[At + 2] != '\'')
                throw SourceError("a character constant is one character between quotes");
            const int64_t value = static_cast<unsigned char>(Text[At + 1]);
            At += 3;
            return value;
        }
        if (c == '#')
            return number(At + 1, 16);
        if (c == '0' && At + 1 < Text.size() && (Text[At + 1] == 'x' || Text[At + 1] == 'X'))
            return number(At + 2, 16);
        if (std::isdigit(static_cast<unsigned char>(c)))
            return number(At, 10);
        if (IsNameStart(c)) {
            const size_t start = At;
            while (At < Text.size() && IsNameChar(Text[At]))
                ++At;
            return Resolve(std::string(Text.substr(start, At - start)));
        }
        throw SourceError(std::string("unexpected '") + c + "' in expression");
    }
    int64_t number(size_t start, unsigned base)
    {
        At = start;
        uint64_t value = 0;
        unsigned digits = 0;
        while (At < Text.size()) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(Text[At])));
            unsigned digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<unsigned>(c - '0');
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<unsigned>(c - 'A' + 10);
            else if (IsNameChar(c))
                throw SourceError("bad digit '" + std::string(1, Text[At]) + "' in number");
            else
                break;
            if (digit >= base)
                throw SourceError("bad digit '" + std::string(1, Text[At]) + "' in number");
            if (value > (UINT64_MAX - digit) / base)
                throw SourceError("number too large");
            value = value * base + digit;
            ++digits;
            ++At;
        }
        if (digits == 0)
            throw SourceError("number without digits");
        return static_cast<int64_t>(value);
    }
    // A one-character operator that is not the start of a two-character one.
    bool peekSingle(char op)
    {
        skipSpace();
        if (At < Text.size() && Text[At] == op) {
            ++At;
            return true;
        }
        return false;
    }

    std::string_view Text;
    const NameResolver& Resolve;
    int64_t Here;
    size_t At = 0;
    unsigned Depth = 0;
};

} // namespace

int64_t Evaluate(std::string_view text, const NameResolver& resolve, int64_t here)
{
    return Parser(text, resolve, here).parse();
}

} // namespace saturn
