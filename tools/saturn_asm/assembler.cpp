#include "saturn_asm/assembler.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "saturn_asm/expression.h"
#include "saturn_asm/instruction_forms.h"
#include "saturn_asm/lcd_font.h"

namespace saturn {

std::string Diagnostic::text() const
{
    return File + ":" + std::to_string(Line) + ": error: " + Message;
}

bool Assembly::place(std::vector<uint8_t>& image) const
{
    for (const Chunk& chunk : Chunks)
        if (chunk.Address + chunk.Nibbles.size() > image.size())
            return false;
    for (const Chunk& chunk : Chunks)
        std::copy(chunk.Nibbles.begin(), chunk.Nibbles.end(), image.begin() + chunk.Address);
    return true;
}

std::vector<uint8_t> Assembly::flat() const
{
    if (Chunks.empty())
        return {};
    uint32_t low = 0xFFFFFFFF, high = 0;
    for (const Chunk& chunk : Chunks) {
        low = std::min(low, chunk.Address);
        high = std::max(high, chunk.Address + static_cast<uint32_t>(chunk.Nibbles.size()));
    }
    std::vector<uint8_t> nibbles(high - low, 0);
    for (const Chunk& chunk : Chunks)
        std::copy(chunk.Nibbles.begin(), chunk.Nibbles.end(), nibbles.begin() + (chunk.Address - low));
    return nibbles;
}

namespace {

constexpr uint32_t AddressSpace = 0x100000;

// A value that the second pass writes into a statement's nibbles.
struct Field {
    enum Kind {
        Value,    // must fit the width, as unsigned or as two's complement
        Low,      // only its low nibbles are taken
        Relative, // a target, stored as a signed offset from Base
    };
    Kind Type = Value;
    unsigned Position = 0;
    unsigned Width = 0;
    // Relative: the offset counts from the statement's address plus this.
    unsigned Base = 0;
    // Relative: an offset of 0 means a return, so no target may give it.
    bool NoZero = false;
    std::string Expression;
};

struct Statement {
    size_t File = 0;
    unsigned Line = 0;
    uint32_t Address = 0;
    std::vector<uint8_t> Nibbles;
    std::vector<Field> Fields;
};

struct Equate {
    std::string Expression;
    size_t File = 0;
    unsigned Line = 0;
    uint32_t Here = 0;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Calls visit(i) for each character of text that stands outside a string
// and a character constant, until visit returns false; returns where it
// stopped (text.size() when it ran to the end).
template <typename Visit>
size_t ScanOutsideQuotes(std::string_view text, Visit visit)
{
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '\'' && i + 2 < text.size() && text[i + 2] == '\'') {
            i += 2;
        } else if (!visit(i)) {
            return i;
        }
    }
    return text.size();
}

// The line without its comment: a ';' outside quotes.
std::string_view StripComment(std::string_view line)
{
    return line.substr(0, ScanOutsideQuotes(line, [&](size_t i) { return line[i] != ';'; }));
}

// Operands separated by commas outside quotes and parentheses.
std::vector<std::string_view> SplitOperands(std::string_view text)
{
    std::vector<std::string_view> parts;
    if (Trim(text).empty())
        return parts;
    int depth = 0;
    size_t start = 0;
    ScanOutsideQuotes(text, [&](size_t i) {
        if (text[i] == '(')
            ++depth;
        else if (text[i] == ')')
            --depth;
        else if (text[i] == ',' && depth == 0) {
            parts.push_back(Trim(text.substr(start, i - start)));
            start = i + 1;
        }
        return true;
    });
    parts.push_back(Trim(text.substr(start)));
    for (std::string_view part : parts)
        if (part.empty())
            throw SourceError("empty operand");
    return parts;
}

std::string ParseString(std::string_view text)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        throw SourceError("expected a string in double quotes");
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        char c = text[i];
        if (c == '"')
            throw SourceError("stray '\"' in string");
        if (c == '\\') {
            if (i + 2 >= text.size())
                throw SourceError("string ends in '\\'");
            const char e = text[++i];
            if (e == 'n')
                c = '\n';
            else if (e == 'r')
                c = '\r';
            else if (e == 't')
                c = '\t';
            else if (e == '0')
                c = '\0';
            else if (e == '\\' || e == '"')
                c = e;
            else
                throw SourceError(std::string("unknown escape '\\") + e + "'");
        }
        out += c;
    }
    return out;
}

// "NAME(n)" with n from 1 to 16; nothing when the text is not of that shape.
std::optional<unsigned> Counted(const std::string& mnemonic, std::string_view name)
{
    if (mnemonic.size() < name.size() + 3 || mnemonic.compare(0, name.size(), name) != 0 ||
        mnemonic[name.size()] != '(' || mnemonic.back() != ')')
        return std::nullopt;
    const std::string digits = mnemonic.substr(name.size() + 1, mnemonic.size() - name.size() - 2);
    if (digits.empty() || digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), IsDigit))
        throw SourceError(mnemonic + ": the count is a decimal number from 1 to 16");
    const unsigned count = static_cast<unsigned>(std::stoul(digits));
    if (count < 1 || count > 16)
        throw SourceError(mnemonic + ": the count is a decimal number from 1 to 16");
    return count;
}

void AppendHex(std::vector<uint8_t>& nibbles, std::string_view digits)
{
    for (char c : digits) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (u >= '0' && u <= '9')
            nibbles.push_back(static_cast<uint8_t>(u - '0'));
        else if (u >= 'A' && u <= 'F')
            nibbles.push_back(static_cast<uint8_t>(u - 'A' + 10));
        else
            throw SourceError(std::string("bad hexadecimal digit '") + c + "'");
    }
}

void AppendValue(std::vector<uint8_t>& nibbles, uint64_t value, unsigned width)
{
    for (unsigned i = 0; i < width; ++i)
        nibbles.push_back(static_cast<uint8_t>(value >> (4 * i) & 15));
}

class Assembler {
public:
    explicit Assembler(const std::vector<SourceFile>& sources) : Sources(sources) {}

    Assembly run()
    {
        for (size_t file = 0; file < Sources.size(); ++file) {
            const std::string_view text = Sources[file].Text;
            CurrentFile = file;
            CurrentLine = 0;
            for (size_t start = 0; start <= text.size();) {
                const size_t end = std::min(text.find('\n', start), text.size());
                ++CurrentLine;
                try {
                    firstPass(StripComment(text.substr(start, end - start)));
                } catch (const SourceError& error) {
                    report(file, CurrentLine, error.what());
                }
                start = end + 1;
            }
        }
        for (Statement& statement : Statements) {
            try {
                secondPass(statement);
            } catch (const SourceError& error) {
                report(statement.File, statement.Line, error.what());
            }
        }
        collect();
        return std::move(Result);
    }

private:
    void report(size_t file, unsigned line, const std::string& message)
    {
        Result.Errors.push_back({Sources[file].Name, line, message});
    }

    // --- names ---

    void define(const std::string& name, int64_t address)
    {
        if (Labels.count(name) || Equates.count(name))
            throw SourceError("'" + name + "' is defined twice");
        Labels[name] = address;
    }

    int64_t resolve(const std::string& name, bool forward)
    {
        if (auto label = Labels.find(name); label != Labels.end())
            return label->second;
        if (auto known = EquateValues.find(name); known != EquateValues.end())
            return known->second;
        auto equate = Equates.find(name);
        if (equate == Equates.end())
            throw SourceError(forward ? "unknown name '" + name + "'" : "'" + name + "' must be defined before this line");
        if (Resolving.count(name))
            throw SourceError("'" + name + "' is defined in terms of itself");
        if (Resolving.size() >= 200)
            throw SourceError("'" + name + "' is defined through too many other names");
        Resolving.insert(name);
        try {
            const int64_t value = Evaluate(equate->second.Expression, [&](const std::string& n) { return resolve(n, forward); },
                                           equate->second.Here);
            Resolving.erase(name);
            // Kept: names built on names twice over would otherwise cost
            // time exponential in their depth.
            EquateValues[name] = value;
            return value;
        } catch (...) {
            Resolving.erase(name);
            throw;
        }
    }

    int64_t evaluateNow(std::string_view text)
    {
        return Evaluate(text, [&](const std::string& n) { return resolve(n, false); }, Here);
    }

    // --- first pass: parse, size and place every statement ---

    void firstPass(std::string_view line)
    {
        line = Trim(line);
        // A label: a name and a colon at the start of the line.
        size_t nameEnd = 0;
        while (nameEnd < line.size() && IsNameChar(line[nameEnd]))
            ++nameEnd;
        if (nameEnd > 0 && IsNameStart(line[0]) && nameEnd < line.size() && line[nameEnd] == ':') {
            define(std::string(line.substr(0, nameEnd)), Here);
            line = Trim(line.substr(nameEnd + 1));
        }
        if (line.empty())
            return;

        size_t split = 0;
        while (split < line.size() && !std::isspace(static_cast<unsigned char>(line[split])))
            ++split;
        const std::string word(line.substr(0, split));
        const std::string_view rest = Trim(line.substr(split));

        // NAME = value, NAME EQU value
        if (IsNameStart(word[0]) && std::all_of(word.begin(), word.end(), IsNameChar)) {
            size_t after = 0;
            if (!rest.empty() && rest[0] == '=')
                after = 1;
            else if (Upper(rest.substr(0, 4)) == "EQU " || Upper(rest.substr(0, 4)) == "EQU\t")
                after = 4;
            if (after) {
                if (Labels.count(word) || Equates.count(word))
                    throw SourceError("'" + word + "' is defined twice");
                const std::string_view value = Trim(rest.substr(after));
                if (value.empty())
                    throw SourceError("'" + word + "' has no value");
                Equates[word] = {std::string(value), CurrentFile, CurrentLine, Here};
                return;
            }
        }

        Statement statement;
        statement.File = CurrentFile;
        statement.Line = CurrentLine;
        statement.Address = Here;
        const std::string mnemonic = Upper(word);
        if (!directive(mnemonic, rest, statement) && !instruction(mnemonic, rest, statement))
            throw SourceError("unknown instruction '" + word + "'");
        advance(static_cast<uint32_t>(statement.Nibbles.size()));
        if (!statement.Nibbles.empty())
            Statements.push_back(std::move(statement));
    }

    void advance(uint32_t count)
    {
        if (Here + static_cast<uint64_t>(count) > AddressSpace)
            throw SourceError("the program runs past the end of the address space");
        Here += count;
    }

    bool directive(const std::string& mnemonic, std::string_view rest, Statement& s)
    {
        if (mnemonic == "ORG") {
            const int64_t address = evaluateNow(rest);
            if (address < 0 || address >= AddressSpace)
                throw SourceError("ORG address out of range");
            Here = static_cast<uint32_t>(address);
            s.Address = Here;
            return true;
        }
        if (mnemonic == "ALIGN") {
            const int64_t step = evaluateNow(rest);
            if (step < 1 || step > 0x10000)
                throw SourceError("ALIGN takes a step from 1 to 65536");
            s.Nibbles.assign((step - Here % step) % step, 0);
            return true;
        }
        if (mnemonic == "NIBHEX") {
            AppendHex(s.Nibbles, rest);
            if (s.Nibbles.empty())
                throw SourceError("NIBHEX without digits");
            return true;
        }
        if (mnemonic == "ASCII") {
            for (char c : ParseString(rest))
                AppendValue(s.Nibbles, static_cast<unsigned char>(c), 2);
            return true;
        }
        if (mnemonic == "TEXT" || mnemonic == "TEXTC") {
            const auto operands = SplitOperands(rest);
            const size_t expected = mnemonic == "TEXT" ? 2 : 1;
            if (operands.size() != expected)
                throw SourceError(mnemonic == "TEXT" ? "TEXT takes a dot column and a string" : "TEXTC takes a string");
            const std::string text = ParseString(operands.back());
            int64_t x = mnemonic == "TEXT" ? evaluateNow(operands[0]) : CentredColumn(text);
            if (x < 0 || x >= LcdLineNibbles * 4)
                throw SourceError("the dot column is outside the LCD line");
            for (char c : text)
                if (!GlyphRows(c))
                    throw SourceError("the font has no character " + std::to_string(static_cast<unsigned char>(c)));
            const auto band = RenderTextBand(text, static_cast<unsigned>(x));
            if (!band)
                throw SourceError("the text runs past the end of the LCD line");
            s.Nibbles = *band;
            return true;
        }
        if (mnemonic == "FONT") {
            if (!rest.empty())
                throw SourceError("FONT takes no operand");
            for (char c = FirstGlyph; c <= LastGlyph; ++c) {
                const auto rows = GlyphRows(c);
                s.Nibbles.insert(s.Nibbles.end(), rows->begin(), rows->end());
            }
            return true;
        }
        unsigned width = 0;
        if (mnemonic == "NIB")
            width = 1;
        else if (mnemonic == "BYTE")
            width = 2;
        else if (auto count = Counted(mnemonic, "CON"))
            width = *count;
        else
            return false;
        const auto operands = SplitOperands(rest);
        if (operands.empty())
            throw SourceError(mnemonic + " without a value");
        for (std::string_view operand : operands) {
            s.Fields.push_back({Field::Value, static_cast<unsigned>(s.Nibbles.size()), width, 0, false, std::string(operand)});
            s.Nibbles.resize(s.Nibbles.size() + width);
        }
        return true;
    }

    bool instruction(const std::string& mnemonic, std::string_view rest, Statement& s)
    {
        static const std::map<std::string, uint8_t> hstBits = {{"XM=0", 1}, {"SB=0", 2}, {"SR=0", 4}, {"MP=0", 8}};
        if (auto bit = hstBits.find(mnemonic); bit != hstBits.end()) {
            unsigned bits = bit->second;
            std::string_view more = rest;
            while (!more.empty()) {
                size_t end = 0;
                while (end < more.size() && !std::isspace(static_cast<unsigned char>(more[end])))
                    ++end;
                auto next = hstBits.find(Upper(more.substr(0, end)));
                if (next == hstBits.end() || bits & next->second)
                    throw SourceError("'" + std::string(more.substr(0, end)) + "' is no further hardware status bit");
                bits |= next->second;
                more = Trim(more.substr(end));
            }
            AppendHex(s.Nibbles, "82");
            s.Nibbles.push_back(static_cast<uint8_t>(bits));
            return true;
        }

        const auto& forms = FixedForms();
        if (auto form = forms.find(mnemonic); form != forms.end()) {
            AppendHex(s.Nibbles, form->second.Nibbles);
            if (!form->second.Test) {
                if (!rest.empty())
                    throw SourceError(mnemonic + " takes no operand");
                return true;
            }
            const std::string tail = Upper(rest.substr(0, std::min(rest.find_first_of(" \t"), rest.size())));
            if (tail == "RTNYES" && Trim(rest.substr(6)).empty()) {
                AppendHex(s.Nibbles, "00");
            } else if (tail == "GOYES" && !Trim(rest.substr(5)).empty()) {
                relative(s, 2, 0, true, Trim(rest.substr(5)));
            } else {
                throw SourceError("a test ends in GOYES and a target, or RTNYES");
            }
            return true;
        }

        if (mnemonic == "P=") {
            // The disassembler writes the number in decimal after '#'.
            if (rest.size() > 1 && rest[0] == '#' && std::all_of(rest.begin() + 1, rest.end(), IsDigit)) {
                const unsigned long n = std::stoul(std::string(rest.substr(1, 3)));
                if (rest.size() > 3 || n > 15)
                    throw SourceError("P= takes 0 to 15");
                s.Nibbles = {2, static_cast<uint8_t>(n)};
                return true;
            }
            s.Nibbles = {2};
            operand(s, Field::Value, 1, rest);
            return true;
        }
        if (auto count = Counted(mnemonic, "LC")) {
            s.Nibbles = {3, static_cast<uint8_t>(*count - 1)};
            operand(s, Field::Value, *count, rest);
            return true;
        }
        if (auto count = Counted(mnemonic, "LA")) {
            AppendHex(s.Nibbles, "8082");
            s.Nibbles.push_back(static_cast<uint8_t>(*count - 1));
            operand(s, Field::Value, *count, rest);
            return true;
        }
        static const std::map<std::string, std::pair<const char*, unsigned>> pointerLoads = {
            {"D0=(2)", {"19", 2}}, {"D0=(4)", {"1A", 4}}, {"D0=(5)", {"1B", 5}},
            {"D1=(2)", {"1D", 2}}, {"D1=(4)", {"1E", 4}}, {"D1=(5)", {"1F", 5}},
        };
        if (auto load = pointerLoads.find(mnemonic); load != pointerLoads.end()) {
            AppendHex(s.Nibbles, load->second.first);
            // The short loads replace the pointer's low nibbles only: an
            // address whose upper nibbles match is the usual operand.
            operand(s, Field::Low, load->second.second, rest);
            return true;
        }
        struct Jump {
            const char* Opcode;
            unsigned Width;
            unsigned Base; // Relative: offset counted from the address plus this
            bool Absolute;
            bool NoZero;
        };
        static const std::map<std::string, Jump> jumps = {
            {"GOC", {"4", 2, 1, false, true}},      {"GONC", {"5", 2, 1, false, true}},
            {"GOTO", {"6", 3, 1, false, false}},    {"GOSUB", {"7", 3, 4, false, false}},
            {"GOLONG", {"8C", 4, 2, false, false}}, {"GOSUBL", {"8E", 4, 6, false, false}},
            {"GOVLNG", {"8D", 5, 0, true, false}},  {"GOSBVL", {"8F", 5, 0, true, false}},
        };
        if (auto jump = jumps.find(mnemonic); jump != jumps.end()) {
            AppendHex(s.Nibbles, jump->second.Opcode);
            if (rest.empty())
                throw SourceError(mnemonic + " needs a target");
            if (jump->second.Absolute)
                operand(s, Field::Value, jump->second.Width, rest);
            else
                relative(s, jump->second.Width, jump->second.Base, jump->second.NoZero, rest);
            return true;
        }
        return false;
    }

    void operand(Statement& s, Field::Kind kind, unsigned width, std::string_view text)
    {
        if (text.empty())
            throw SourceError("missing operand");
        s.Fields.push_back({kind, static_cast<unsigned>(s.Nibbles.size()), width, 0, false, std::string(text)});
        s.Nibbles.resize(s.Nibbles.size() + width);
    }

    // base 0 means "from the offset field itself".
    void relative(Statement& s, unsigned width, unsigned base, bool noZero, std::string_view text)
    {
        const unsigned position = static_cast<unsigned>(s.Nibbles.size());
        s.Fields.push_back({Field::Relative, position, width, base ? base : position, noZero, std::string(text)});
        s.Nibbles.resize(s.Nibbles.size() + width);
    }

    // --- second pass: values into nibbles ---

    void secondPass(Statement& s)
    {
        for (const Field& field : s.Fields) {
            const int64_t value =
                Evaluate(field.Expression, [&](const std::string& n) { return resolve(n, true); }, s.Address);
            const unsigned bits = 4 * field.Width;
            uint64_t stored;
            if (field.Type == Field::Relative) {
                if (value < 0 || value >= AddressSpace)
                    throw SourceError("target " + field.Expression + " is outside the address space");
                int64_t offset = value - (static_cast<int64_t>(s.Address) + field.Base);
                // Targets wrap around the top of the address space.
                const int64_t half = int64_t{1} << (bits - 1);
                if (offset >= half)
                    offset -= AddressSpace;
                if (offset < -half)
                    offset += AddressSpace;
                if (offset >= half || offset < -half)
                    throw SourceError("target " + field.Expression + " is too far for a " + std::to_string(field.Width) +
                                      "-nibble offset (" + std::to_string(offset) + ")");
                if (offset == 0 && field.NoZero)
                    throw SourceError("a branch to its own offset field reads as a return");
                stored = static_cast<uint64_t>(offset);
            } else {
                stored = static_cast<uint64_t>(value);
                if (field.Type == Field::Value && bits < 64) {
                    const int64_t top = int64_t{1} << bits;
                    if (value >= top || value < -(top / 2))
                        throw SourceError("value " + std::to_string(value) + " of " + field.Expression + " does not fit in " +
                                          std::to_string(field.Width) + " nibbles");
                }
            }
            for (unsigned i = 0; i < field.Width; ++i)
                s.Nibbles[field.Position + i] = static_cast<uint8_t>(stored >> (4 * i) & 15);
        }
    }

    void collect()
    {
        std::vector<bool> used(AddressSpace, false);
        for (const Statement& s : Statements) {
            for (uint32_t i = 0; i < s.Nibbles.size(); ++i) {
                if (used[s.Address + i]) {
                    report(s.File, s.Line, "this overlaps earlier code at #" + HexAddress(s.Address + i));
                    break;
                }
                used[s.Address + i] = true;
            }
            if (!Result.Chunks.empty()) {
                Chunk& last = Result.Chunks.back();
                if (last.Address + last.Nibbles.size() == s.Address) {
                    last.Nibbles.insert(last.Nibbles.end(), s.Nibbles.begin(), s.Nibbles.end());
                    continue;
                }
            }
            Result.Chunks.push_back({s.Address, s.Nibbles});
        }
        for (const auto& [name, address] : Labels)
            Result.Symbols[name] = address;
        for (const auto& [name, equate] : Equates) {
            try {
                Result.Symbols[name] = resolve(name, true);
            } catch (const SourceError& error) {
                report(equate.File, equate.Line, error.what());
            }
        }
    }

    static std::string HexAddress(uint32_t address)
    {
        std::string text(5, '0');
        for (int i = 4; i >= 0; --i, address >>= 4)
            text[static_cast<size_t>(i)] = "0123456789ABCDEF"[address & 15];
        return text;
    }

    const std::vector<SourceFile>& Sources;
    std::vector<Statement> Statements;
    std::map<std::string, int64_t> Labels;
    std::map<std::string, Equate> Equates;
    std::map<std::string, int64_t> EquateValues;
    std::set<std::string> Resolving;
    uint32_t Here = 0;
    size_t CurrentFile = 0;
    unsigned CurrentLine = 0;
    Assembly Result;
};

} // namespace

Assembly Assemble(const std::vector<SourceFile>& sources)
{
    return Assembler(sources).run();
}

Assembly Assemble(std::string_view text)
{
    return Assemble(std::vector<SourceFile>{{"<source>", std::string(text)}});
}

} // namespace saturn
