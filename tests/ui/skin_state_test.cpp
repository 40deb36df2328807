// The "&State" commands on the real libraries: the file's layout, a round
// trip of registers and all three ports, an absent port, and the mends: a
// save that fails leaves the old file, a file that is no state file changes
// nothing, and the engine runs after every command past its dialog.
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "korvane.h"
#include "tessock.h"
#include "saturn_asm/assembler.h"
#include "tests/ui/support/open_window.h"
#include "ui/commands.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Port0Size = 0x80000, Port2Size = 0x40000;
constexpr size_t StartUpFileSize = 1049100;
// The register indexes the tests set: PC, D0, D1, A to D, the flags.
const std::vector<uint32_t> Indexes = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 28};
void (*const GetPort[3])(uint32_t*, uint8_t**) = {KHGetPort0, KHGetPort1, KHGetPort2};

Bytes PortImage(int p)
{
    uint32_t size = 0;
    uint8_t* image = nullptr;
    GetPort[p](&size, &image);
    return image ? Bytes(image, image + size) : Bytes();
}

Bytes Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

uint32_t Word(const Bytes& file, size_t at)
{
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24;
}

class StateCommands : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Window.ready()); }

    // Stops the engine and sets a machine that stands still while it runs:
    // a jump to itself in RAM (port 0, at #80000), interrupts held off,
    // registers and ports filled after the seed. Kept in Registers, Ports.
    void SetMachine(uint32_t seed)
    {
        KVStop();
        const saturn::Assembly loop = saturn::Assemble("ORG #C0000\nloop: GOTO loop\n");
        ASSERT_TRUE(loop.ok());
        for (int p = 0; p < 3; ++p) {
            uint32_t size = 0;
            uint8_t* image = nullptr;
            GetPort[p](&size, &image);
            ASSERT_NE(image, nullptr);
            for (uint32_t i = 0; i < size; ++i)
                image[i] = static_cast<uint8_t>((i * (7 + 2 * seed) + (i >> 9) + 3 * p + seed) & 0xF);
            if (p == 0)
                std::copy(loop.Chunks[0].Nibbles.begin(), loop.Chunks[0].Nibbles.end(), image + 0x40000);
            Ports[p] = Bytes(image, image + size);
        }
        Registers.clear();
        for (uint32_t index : Indexes) {
            // Flags: P 5, in interrupt service, carry; ST from the seed.
            const uint32_t value = index == 0 ? 0xC0000 : index == 28 ? 0x305u | (0xBE00u + seed) << 16
                                   : index <= 2 ? (0x12345u * (index + seed)) & 0xFFFFF
                                                : 0x9E3779B9u * (index + 7 * seed);
            KVSetRegister(index, value);
            Registers.push_back(value);
        }
    }
    // The machine is the one SetMachine made; the engine runs.
    void ExpectMachine(const std::vector<uint32_t>& registers, const Bytes (&ports)[3])
    {
        EXPECT_EQ(KVIsRunning(), 1u);
        KVStop();
        for (size_t i = 0; i < Indexes.size(); ++i)
            EXPECT_EQ(KVGetRegister(Indexes[i]), registers[i]) << "register " << Indexes[i];
        for (int p = 0; p < 3; ++p)
            EXPECT_TRUE(PortImage(p) == ports[p]) << "port " << p;
        KVRun();
    }
    std::string Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)).toStdString(); }
    void Command(uint32_t command, const std::string& path, bool loading)
    {
        uitest::AnswerFileDialogWith(QString::fromStdString(path));
        EXPECT_TRUE(Window->OnCommand(command, 0));
        EXPECT_EQ(uitest::LastDialogWasForLoading, loading);
    }
    void Save(const std::string& path) { Command(CmdSaveState, path, false); }
    void Load(const std::string& path) { Command(CmdLoadState, path, true); }

    uitest::OpenWindow Window;
    QTemporaryDir Dir;
    std::vector<uint32_t> Registers;
    Bytes Ports[3];
};

TEST_F(StateCommands, ASaveIsTheStateBlockThenEachPortsSizeAndImageAndLoadsBackWhole)
{
    SetMachine(1);
    const std::string path = Path("machine.state");
    Save(path);
    EXPECT_EQ(KVIsRunning(), 1u);
    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), StartUpFileSize);
    EXPECT_EQ(Word(file, 0), 0xC0000u); // the block begins with PC, D0, D1
    EXPECT_EQ(Word(file, 4), Registers[1]);
    EXPECT_EQ(Word(file, 8), Registers[2]);
    size_t at = 512;
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(Word(file, at), p == 0 ? 0x80000u : 0x40000u);
        EXPECT_TRUE(Bytes(file.begin() + at + 4, file.begin() + at + 4 + Ports[p].size()) == Ports[p]) << p;
        at += 4 + Ports[p].size();
    }
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left

    // Another machine, with port 2 of another size and port 1 gone; then
    // the file brings the first one back, running.
    const std::vector<uint32_t> saved = Registers;
    const Bytes savedPorts[3] = {Ports[0], Ports[1], Ports[2]};
    SetMachine(2);
    KHCreatePort2(0x1000);
    KHDestroyPort1();
    KVRun();
    Load(path);
    ExpectMachine(saved, savedPorts);
    KVStop();
    const uint32_t cycles = KVGetRegister(KV_REG_CYCLES_LOW);
    KVRun();
    uitest::Pump(50ms);
    KVStop();
    EXPECT_NE(KVGetRegister(KV_REG_CYCLES_LOW), cycles);
}

TEST_F(StateCommands, AnAbsentPortIsSavedAsSizeZero)
{
    SetMachine(3);
    KHDestroyPort1();
    const std::string path = Path("no-port-1.state");
    Save(path);
    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), 524u + Port0Size + Port2Size);
    EXPECT_EQ(Word(file, 516 + Port0Size), 0u);
    EXPECT_EQ(Word(file, 520 + Port0Size), Port2Size);
}

TEST_F(StateCommands, ASaveThatFailsLeavesTheOldFileAndTheEngineRunning)
{
    SetMachine(4);
    const std::string path = Path("old.state");
    Write(path, {'o', 'l', 'd'});
    rlimit saved; // the disk fills up after 64 KiB
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(Read(path), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(KVIsRunning(), 1u);
    KVStop(); // where no file can be made: none is, and the engine runs
    Save(Path("missing/dir.state"));
    EXPECT_EQ(KVIsRunning(), 1u);
    // A cancelled dialog leaves the engine as it was.
    KVStop();
    uitest::AnswerFileDialogWith(QString());
    Window->OnCommand(CmdSaveState, 0);
    Window->OnCommand(CmdLoadState, 0);
    EXPECT_EQ(KVIsRunning(), 0u);
}

TEST_F(StateCommands, AFileThatIsNoStateFileChangesNothingAndTheEngineRunsAfterwards)
{
    SetMachine(5);
    Save(Path("valid.state"));
    const Bytes good = Read(Path("valid.state"));
    ASSERT_EQ(good.size(), StartUpFileSize);
    SetMachine(6);
    // Port 1's size field changed, the file cut or grown to match it.
    const auto port1Of = [&](uint32_t size) {
        Bytes file(good.begin(), good.begin() + 516 + Port0Size);
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<uint8_t>(size >> (8 * i)));
        file.resize(file.size() + size, 0x03);
        file.insert(file.end(), good.end() - 4 - 0x40000, good.end());
        return file;
    };
    Bytes random(StartUpFileSize);
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    const std::vector<std::pair<const char*, Bytes>> bad = {
        {"truncated by one byte", Bytes(good.begin(), good.end() - 1)},
        {"one byte too many", [&] { Bytes b = good; b.push_back(0); return b; }()},
        {"the state block alone", Bytes(good.begin(), good.begin() + 512)},
        {"100 bytes", Bytes(good.begin(), good.begin() + 100)},
        {"port 1 of 0x3000 nibbles", port1Of(0x3000)},
        {"port 1 of 0x800 nibbles", port1Of(0x800)},
        {"random bytes of the right length", random},
    };
    for (const auto& [what, bytes] : bad) {
        SCOPED_TRACE(what);
        Write(Path("bad.state"), bytes);
        KVStop();
        Load(Path("bad.state"));
        ExpectMachine(Registers, Ports);
    }
    KVStop();
    Load(Path("missing.state"));
    ExpectMachine(Registers, Ports);
}

TEST_F(StateCommands, SavingAndLoadingTheStartUpPortsTakeUnder50Ms)
{
    SetMachine(7);
    const std::string path = Path("timed.state");
    Save(path); // the timed saves replace it
    qint64 save = std::numeric_limits<qint64>::max(), load = save;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        clock.start();
        Save(path);
        save = std::min(save, clock.nsecsElapsed() / 1000);
        clock.restart();
        Load(path);
        load = std::min(load, clock.nsecsElapsed() / 1000);
    }
    std::printf("FIGURE state_save_us=%lld state_load_us=%lld\n", static_cast<long long>(save), static_cast<long long>(load));
    ExpectMachine(Registers, Ports);
    EXPECT_LT(save, PELRIN_INSTRUMENTED ? 500000 : 50000);
    EXPECT_LT(load, PELRIN_INSTRUMENTED ? 500000 : 50000);
}

} // namespace
} // namespace pelrin
