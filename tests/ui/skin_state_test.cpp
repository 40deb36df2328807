// The "&State" commands on the real libraries: the file's layout, a round
// trip of registers and all three ports, a port that is absent, and the
// mends: a save that fails leaves the old file, a file that is no state
// file changes nothing, and the engine runs after every command that got
// past its dialog.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/support/assembler.h"
#include "tests/ui/support/open_window.h"
#include "ui/commands.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

constexpr uint32_t Port0Size = 0x80000, Port1Size = 0x40000, Port2Size = 0x40000;
constexpr uint64_t StartUpFileSize = 524 + Port0Size + Port1Size + Port2Size;
// A machine that stands still while it runs: a jump to itself, in RAM
// (port 0, which the ROM put at #80000), with interrupts held off.
constexpr uint32_t Loop = 0xC0000;
// The registers the tests set, by index: PC, D0, D1, A to D (low and high
// words) and the flags.
const std::vector<uint32_t> RegisterIndexes = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 28};

using Bytes = std::vector<uint8_t>;

struct Port {
    uint32_t (*Create)(uint32_t);
    void (*Get)(uint32_t*, uint8_t**);
};
const Port Ports[3] = {{KHCreatePort0, KHGetPort0}, {KHCreatePort1, KHGetPort1}, {KHCreatePort2, KHGetPort2}};

Bytes PortImage(int p)
{
    uint32_t size = 0;
    uint8_t* image = nullptr;
    Ports[p].Get(&size, &image);
    return image ? Bytes(image, image + size) : Bytes();
}

// The nibbles the tests fill a port with, different for every seed.
Bytes Pattern(uint32_t size, int port, uint32_t seed)
{
    Bytes nibbles(size);
    for (uint32_t i = 0; i < size; ++i)
        nibbles[i] = static_cast<uint8_t>((i * (7 + 2 * seed) + (i >> 9) + 3 * port + seed) & 0xF);
    return nibbles;
}

class StateCommands : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.ready());
        const saturn::Assembly loop = saturn::Assemble("ORG #C0000\nloop: GOTO loop\n");
        ASSERT_TRUE(loop.ok());
        LoopNibbles = loop.Chunks.at(0).Nibbles;
    }

    // Stops the engine and sets a machine of its own for the seed: the three
    // ports filled with the seed's pattern, the loop in port 0, registers.
    // What the ports then hold is kept in Expected.
    void SetMachine(uint32_t seed)
    {
        KVStop();
        for (int p = 0; p < 3; ++p) {
            uint32_t size = 0;
            uint8_t* image = nullptr;
            Ports[p].Get(&size, &image);
            ASSERT_NE(image, nullptr);
            Expected[p] = Pattern(size, p, seed);
            if (p == 0)
                std::copy(LoopNibbles.begin(), LoopNibbles.end(), Expected[p].begin() + (Loop - 0x80000));
            std::copy(Expected[p].begin(), Expected[p].end(), image);
        }
        Registers.clear();
        for (uint32_t index : RegisterIndexes) {
            // P 5, in interrupt service, carry set, ST from the seed.
            const uint32_t value = index == 0    ? Loop
                                   : index == 28 ? (0x305u | (0xBE00u + seed) << 16)
                                   : index <= 2  ? (0x12345u * (index + seed)) & 0xFFFFF
                                                 : 0x9E3779B9u * (index + 7 * seed);
            KVSetRegister(index, value);
            Registers.push_back(value);
        }
    }
    static std::vector<uint32_t> ReadRegisters()
    {
        KVStop();
        std::vector<uint32_t> values;
        for (uint32_t index : RegisterIndexes)
            values.push_back(KVGetRegister(index));
        KVRun();
        return values;
    }
    std::string Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)).toStdString(); }
    bool Save(const std::string& path)
    {
        uitest::AnswerFileDialogWith(QString::fromStdString(path));
        const bool handled = Window->OnCommand(CmdSaveState, 0);
        return handled && !uitest::LastDialogWasForLoading;
    }
    bool Load(const std::string& path)
    {
        uitest::AnswerFileDialogWith(QString::fromStdString(path));
        return Window->OnCommand(CmdLoadState, 0) && uitest::LastDialogWasForLoading;
    }
    static Bytes Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void Write(const std::string& path, const Bytes& bytes)
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    static uint32_t Word(const Bytes& file, size_t at)
    {
        return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24;
    }
    // Whether the machine is still the one of the last SetMachine: registers
    // and the three ports. The engine runs afterwards.
    void ExpectMachineUnchanged()
    {
        EXPECT_EQ(ReadRegisters(), Registers);
        for (int p = 0; p < 3; ++p)
            EXPECT_TRUE(PortImage(p) == Expected[p]) << "port " << p;
    }

    uitest::OpenWindow Window;
    QTemporaryDir Dir;
    Bytes LoopNibbles;
    Bytes Expected[3];
    std::vector<uint32_t> Registers;
};

TEST_F(StateCommands, ASaveWithTheStartUpPortsIsTheStateBlockThenEachPortsSizeAndImage)
{
    SetMachine(1);
    const std::string path = Path("machine.state");
    ASSERT_TRUE(Save(path));
    EXPECT_EQ(KVIsRunning(), 1u);
    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), StartUpFileSize);
    // The block begins with PC, D0 and D1.
    EXPECT_EQ(Word(file, 0), Loop);
    EXPECT_EQ(Word(file, 4), Registers[1]);
    EXPECT_EQ(Word(file, 8), Registers[2]);
    EXPECT_EQ(Bytes(file.begin() + 512, file.begin() + 516), Bytes({0x00, 0x00, 0x08, 0x00}));
    EXPECT_TRUE(Bytes(file.begin() + 516, file.begin() + 516 + Port0Size) == Expected[0]);
    const size_t port1 = 516 + Port0Size;
    EXPECT_EQ(Bytes(file.begin() + port1, file.begin() + port1 + 4), Bytes({0x00, 0x00, 0x04, 0x00}));
    EXPECT_TRUE(Bytes(file.begin() + port1 + 4, file.begin() + port1 + 4 + Port1Size) == Expected[1]);
    const size_t port2 = port1 + 4 + Port1Size;
    EXPECT_EQ(Bytes(file.begin() + port2, file.begin() + port2 + 4), Bytes({0x00, 0x00, 0x04, 0x00}));
    EXPECT_TRUE(Bytes(file.begin() + port2 + 4, file.end()) == Expected[2]);
    EXPECT_EQ(Dir.path().isEmpty(), false);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left
}

TEST_F(StateCommands, LoadingWhatWasSavedRestoresRegistersAndAllThreePortsAndTheEngineRuns)
{
    SetMachine(1);
    const std::string path = Path("machine.state");
    ASSERT_TRUE(Save(path));
    const std::vector<uint32_t> saved = Registers;
    Bytes savedPorts[3] = {Expected[0], Expected[1], Expected[2]};

    // Another machine, with port 2 of another size and port 1 gone.
    SetMachine(2);
    KHCreatePort2(0x1000);
    KHDestroyPort1();
    ASSERT_TRUE(Load(path));
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_EQ(ReadRegisters(), saved);
    for (int p = 0; p < 3; ++p)
        EXPECT_TRUE(PortImage(p) == savedPorts[p]) << "port " << p;
    // It runs: the processor's cycles go on.
    KVStop();
    const uint32_t cycles = KVGetRegister(KV_REG_CYCLES_LOW);
    KVRun();
    EXPECT_TRUE(uitest::WaitFor(
        [&] {
            KVStop();
            const bool moved = KVGetRegister(KV_REG_CYCLES_LOW) != cycles;
            KVRun();
            return moved;
        },
        5s));
}

TEST_F(StateCommands, AnAbsentPortIsSavedAsSizeZeroAndLoadsAsAbsent)
{
    SetMachine(3);
    KHDestroyPort1();
    const std::string path = Path("no-port-1.state");
    ASSERT_TRUE(Save(path));
    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), 524u + Port0Size + Port2Size);
    EXPECT_EQ(Word(file, 516 + Port0Size), 0u);
    EXPECT_EQ(Word(file, 520 + Port0Size), Port2Size);
    KVStop(); // images change only while the engine stands
    KHCreatePort1(0x40000);
    ASSERT_TRUE(Load(path));
    EXPECT_TRUE(PortImage(1).empty());
    EXPECT_TRUE(PortImage(2) == Expected[2]);
}

TEST_F(StateCommands, ASaveThatFailsLeavesTheOldFileAndTheEngineRunning)
{
    SetMachine(4);
    const std::string path = Path("old.state");
    const Bytes old = {'o', 'l', 'd'};
    Write(path, old);
    // The disk fills up after 64 KiB.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool asked = Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(asked);
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(KVIsRunning(), 1u);

    // A place where no file can be made: none is, and the engine runs.
    KVStop();
    EXPECT_TRUE(Save(Path("missing/dir.state")));
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Path("missing/dir.state"))));
}

TEST_F(StateCommands, AFileThatIsNoStateFileChangesNothingAndTheEngineRunsAfterwards)
{
    SetMachine(5);
    const std::string valid = Path("valid.state");
    ASSERT_TRUE(Save(valid));
    const Bytes good = Read(valid);
    ASSERT_EQ(good.size(), StartUpFileSize);

    SetMachine(6);
    const auto withSize = [&](size_t field, uint32_t size) {
        // The size field changed and the file cut or grown to match it.
        Bytes file(good.begin(), good.begin() + field);
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<uint8_t>(size >> (8 * i)));
        file.resize(file.size() + size, 0x03);
        const size_t rest = field + 4 + Word(good, field);
        file.insert(file.end(), good.begin() + rest, good.end());
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
        {"empty", Bytes()},
        {"port 1 of 0x3000 nibbles", withSize(516 + Port0Size, 0x3000)},
        {"port 1 of 0x800 nibbles", withSize(516 + Port0Size, 0x800)},
        {"port 0 of 0x80001 nibbles", withSize(512, 0x80001)},
        {"random bytes of the right length", random},
    };
    for (const auto& [what, bytes] : bad) {
        SCOPED_TRACE(what);
        Write(Path("bad.state"), bytes);
        KVStop();
        ASSERT_TRUE(Load(Path("bad.state")));
        EXPECT_EQ(KVIsRunning(), 1u);
        ExpectMachineUnchanged();
    }
    KVStop();
    ASSERT_TRUE(Load(Path("missing.state")));
    EXPECT_EQ(KVIsRunning(), 1u);
    ExpectMachineUnchanged();
}

TEST_F(StateCommands, ACancelledDialogLeavesTheEngineAsItWas)
{
    uitest::AnswerFileDialogWith(QString());
    KVStop();
    EXPECT_TRUE(Window->OnCommand(CmdSaveState, 0));
    EXPECT_TRUE(Window->OnCommand(CmdLoadState, 0));
    EXPECT_EQ(KVIsRunning(), 0u);
    KVRun();
    EXPECT_TRUE(Window->OnCommand(CmdSaveState, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(QDir(Dir.path()).isEmpty());
}

TEST_F(StateCommands, SavingAndLoadingTheStartUpPortsTakeUnder50Ms)
{
    SetMachine(7);
    const std::string path = Path("timed.state");
    // The first save writes a file where none was; time the ones that replace it.
    ASSERT_TRUE(Save(path));
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
    std::printf("FIGURE state_save_us=%lld state_load_us=%lld\n", static_cast<long long>(save),
                static_cast<long long>(load));
    ExpectMachineUnchanged();
    EXPECT_LT(save, PELRIN_INSTRUMENTED ? 500000 : 50000);
    EXPECT_LT(load, PELRIN_INSTRUMENTED ? 500000 : 50000);
}

} // namespace
} // namespace pelrin
