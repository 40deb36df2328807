// KHLoadRom with files written here in all four formats, and every way a
// file can fail, each of which must leave the ROM that was there.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "korvane.h"
#include "tessock.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t FullRom = 0x400000;

class RomFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        KVStop();
        KVConfigure(2, 0);
        KVMemoryReset();
        Dir = fs::temp_directory_path() / ("tessock-rom-" + std::to_string(getpid()));
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string write(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = Dir / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // A packed file: the signature, filler up to the payload, the payload.
    static Bytes Packed(const char (&signature)[9], size_t skipped, const Bytes& payload)
    {
        // Every format skips at least its 8 signature bytes.
        // (Plain loops: GCC 12 takes the copies for overruns at -O2 and -O3.)
        Bytes file(skipped + payload.size(), 0xEE);
        for (size_t i = 0; i < 8; ++i)
            file[i] = static_cast<uint8_t>(signature[i]);
        for (size_t i = 0; i < payload.size(); ++i)
            file[skipped + i] = payload[i];
        return file;
    }

    struct Rom {
        uint32_t Size;
        uint8_t* Buffer;
    };
    static Rom Current()
    {
        Rom rom{};
        KHGetRom(&rom.Size, &rom.Buffer);
        return rom;
    }

    fs::path Dir;
};

const char Saturn[9] = {'S', 'a', 't', 'u', 'r', 'n', '\0', '\3', '\0'};
const char HpW[9] = "HPHP48-W";
const char HpX[9] = "HPHP48-X";

TEST_F(RomFile, ARawFileLoadsByteForByteEvenWhenItBeginsWithASignature)
{
    for (uint32_t size : {0x100000u, FullRom}) {
        Bytes file(size);
        for (uint32_t i = 0; i < size; ++i)
            file[i] = static_cast<uint8_t>((i * 7 + i / 4096) & 0xF);
        std::copy(Saturn, Saturn + 8, file.begin());
        ASSERT_EQ(KHLoadRom(write("raw.e49", file).c_str()), 1u) << size;
        const Rom rom = Current();
        ASSERT_NE(rom.Buffer, nullptr);
        EXPECT_EQ(rom.Size, size) << "the file's size is the image's";
        EXPECT_TRUE(std::equal(file.begin(), file.end(), rom.Buffer)) << size;
        // The engine reaches the ROM through its whole span and a little
        // past it; what lies beyond a small file is zero.
        EXPECT_EQ(rom.Buffer[FullRom - 1], size == FullRom ? file.back() : 0);
        EXPECT_EQ(rom.Buffer[FullRom + KV_BUFFER_SLACK - 1], 0);
        EXPECT_EQ(KHReadNibble(0x00005), 'n' & 0xF) << "lent to the engine, flat";
        EXPECT_EQ(KHReadNibble(0xFFFFF), file[0xFFFFF]);
    }
    // Under the address sanitizer a buffer of the file's size would fail
    // here: bank 15's last nibble, and the operands fetched past it.
    ASSERT_EQ(KHLoadRom(write("small", Bytes(0x100000, 0)).c_str()), 1u);
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_HIGH_BANK, 15);
    KVSetRegister(KV_REG_PC, 0x7FFFF);
    KVStep();
    EXPECT_EQ(KHReadNibble(0x7FFFF), 0);
    KVConfigure(2, 0);
}

TEST_F(RomFile, PackedFilesUnpackInTheirFormatsNibbleOrder)
{
    const Bytes payload = {0x12, 0xAB, 0xF0, 0x3C};
    struct Case {
        const char (&Signature)[9];
        size_t Skipped;
        Bytes Nibbles; // the image's first nibbles, written out by hand
    };
    const Case cases[] = {
        {Saturn, 256, {0x1, 0x2, 0xA, 0xB, 0xF, 0x0, 0x3, 0xC}},
        {HpW, 13, {0x2, 0x1, 0xB, 0xA, 0x0, 0xF, 0xC, 0x3}},
        {HpX, 8, {0x2, 0x1, 0xB, 0xA, 0x0, 0xF, 0xC, 0x3}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(KHLoadRom(write("packed", Packed(c.Signature, c.Skipped, payload)).c_str()), 1u) << c.Signature;
        const Rom rom = Current();
        EXPECT_EQ(rom.Size, FullRom);
        EXPECT_EQ(Bytes(rom.Buffer, rom.Buffer + 8), c.Nibbles) << c.Signature;
        EXPECT_TRUE(std::all_of(rom.Buffer + 8, rom.Buffer + FullRom + KV_BUFFER_SLACK, [](uint8_t b) { return b == 0; }))
            << "the rest is zero";
    }
}

TEST_F(RomFile, APackedPayloadMayFillTheImageButNotOneByteMore)
{
    Bytes payload(FullRom / 2);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    ASSERT_EQ(KHLoadRom(write("full", Packed(HpX, 8, payload)).c_str()), 1u);
    const Rom full = Current();
    for (size_t i : {size_t{0}, size_t{1}, payload.size() / 2, payload.size() - 1}) {
        EXPECT_EQ(full.Buffer[2 * i], payload[i] & 0xF) << i;
        EXPECT_EQ(full.Buffer[2 * i + 1], payload[i] >> 4) << i;
    }

    payload.push_back(0x55);
    EXPECT_EQ(KHLoadRom(write("over", Packed(HpX, 8, payload)).c_str()), 0u);
    const Rom kept = Current();
    EXPECT_EQ(kept.Buffer, full.Buffer);
    EXPECT_EQ(kept.Size, FullRom);
    EXPECT_EQ(kept.Buffer[2], payload[1] & 0xF);
}

TEST_F(RomFile, AnEmptyPayloadGivesAnAllZeroImage)
{
    ASSERT_EQ(KHLoadRom(write("empty", Packed(HpW, 13, {})).c_str()), 1u);
    const Rom rom = Current();
    EXPECT_EQ(rom.Size, FullRom);
    EXPECT_TRUE(std::all_of(rom.Buffer, rom.Buffer + FullRom, [](uint8_t b) { return b == 0; }));
}

TEST_F(RomFile, EveryFailureKeepsThePreviousRomAttachedAndUnchanged)
{
    ASSERT_EQ(KHCreateRom(0x100000), 1u);
    const Rom before = Current();
    before.Buffer[0x4321] = 0x9;

    const std::string fifo = (Dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Bytes shortSaturn(200, 0);
    std::copy(Saturn, Saturn + 8, shortSaturn.begin());
    const std::string failing[] = {
        (Dir / "missing").string(),
        Dir.string(),                                // a directory
        "/dev/zero",                                 // no file size to go by
        fifo,                                        // nor here, and no writer
        write("short", {'H', 'P', 'H', 'P', '4'}),   // fewer than 8 bytes
        write("unknown", Bytes(1000, 0x41)),         // no signature
        write("almost", Bytes(0x100001, 0)),         // neither raw size nor signature
        write("saturn-short", shortSaturn),          // shorter than its header
        write("x-over", Packed(HpX, 8, Bytes(FullRom / 2 + 1, 0x11))),
    };
    for (const std::string& path : failing) {
        EXPECT_EQ(KHLoadRom(path.c_str()), 0u) << path;
        const Rom after = Current();
        EXPECT_EQ(after.Buffer, before.Buffer) << path;
        EXPECT_EQ(after.Size, 0x100000u) << path;
        EXPECT_EQ(KHReadNibble(0x4321), 0x9) << path << ": still lent to the engine";
    }
    EXPECT_EQ(KHLoadRom(nullptr), 0u);
    EXPECT_EQ(Current().Buffer, before.Buffer);
}

} // namespace
