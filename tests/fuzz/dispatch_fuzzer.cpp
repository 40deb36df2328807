// The code cache against the reference dispatch. Each input sets up a
// machine (state, memory map, banks, flash, a program in RAM or ROM, both
// processor modes) and runs it twice from the same start: through the
// reference (one table load by the plain index, nibbles gathered and spread
// by shifts, the CRC by its table steps) in a child process, and through the
// code cache's threaded loop as the run loop or KVExecuteRoutine drives it,
// in slices of lengths the input picks. The whole machine is recorded after
// every instruction of the first run and must match at the end of each
// slice of the second. Programs write over their own code through D0 and
// D1, select banks and send the flash commands, so stale fetch pages and
// stale decoded instructions show as a mismatch. Between slices the host
// writes a nibble near PC or sets a breakpoint tag there, as a debugger does
// while the engine stands, and the reference sees the same write after the
// same instruction. The cache lives on from input to input, so that entries
// decoded for one machine meet the next.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/core/banks.h"
#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/engine.h"
#include "engine/core/flash.h"
#include "engine/core/interrupts.h"
#include "engine/core/io_registers.h"
#include "engine/core/memory.h"
#include "engine/core/threaded.h"
#include "tests/fuzz/fuzz_input.h"

using namespace korvane;

namespace {

constexpr int Steps = 1500;
constexpr uint32_t SwitcherBase = 0x7E000;

struct Buffers {
    std::vector<uint8_t> Rom = std::vector<uint8_t>(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    std::vector<uint8_t> Ram = std::vector<uint8_t>(0x4000 + KV_BUFFER_SLACK);
    std::vector<uint8_t> Port1 = std::vector<uint8_t>(0x4000 + KV_BUFFER_SLACK);
    std::vector<uint8_t> Port2 = std::vector<uint8_t>(0x1000 + KV_BUFFER_SLACK);
    uint32_t RamNibbles = 0, Port1Nibbles = 0;
};

// What one instruction leaves: every register, the cycles and the return
// stack (the CPU record but for the host pointer of the fetch), the CRC, the
// banks, the flash, and a digest of RAM and the ports.
struct Record {
    CpuState Cpu;
    uint32_t Crc, LowBank, HighBank, FlashState, FlashStatus;
    uint64_t Memory;

    bool operator==(const Record& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};

// A digest of the first nibbles of a buffer, eight bytes a step. It is no
// part of the engine: left out of coverage and the sanitizers' checks, which
// would otherwise cost most of the run.
#if defined(__clang__)
__attribute__((no_sanitize("coverage", "address", "undefined"), noinline))
#endif
uint64_t Digest(const std::vector<uint8_t>& buffer, size_t nibbles, uint64_t hash)
{
    for (size_t at = 0; at < nibbles; at += 8) {
        uint64_t word;
        std::memcpy(&word, buffer.data() + at, sizeof word);
        hash = (hash ^ word) * 0x100000001B3ull;
        hash ^= hash >> 29;
    }
    return hash;
}

Record Take(const Buffers& b)
{
    Record r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r.Cpu, &korvane::Cpu, sizeof r.Cpu);
    r.Cpu.FetchPointer = nullptr;
    // The form of a working register that is not live holds what it last held.
    for (NibbleRegister* reg : {&r.Cpu.A, &r.Cpu.B, &r.Cpu.C, &r.Cpu.D}) {
        if (r.Cpu.DecimalMode)
            reg->PackedLow = reg->PackedHigh = 0;
        else
            std::memset(reg->Nibbles, 0, sizeof reg->Nibbles);
    }
    r.Crc = CrcRegister;
    r.LowBank = LowBank;
    r.HighBank = HighBank;
    r.FlashState = Flash.State;
    r.FlashStatus = Flash.Status;
    r.Memory = Digest(b.Port2, 0x1000, Digest(b.Port1, b.Port1Nibbles, Digest(b.Ram, b.RamNibbles, 1)));
    return r;
}

// The same machine from the same input, every time.
void SetUp(fuzz::Input in, Buffers& b, const uint8_t* baseline, uint32_t baselineSize)
{
    std::memset(b.Rom.data(), 0, b.Rom.size());
    std::memset(b.Port1.data(), 0, b.Port1.size());
    std::memset(b.Port2.data(), 0, b.Port2.size());
    // The saved state leaves out what runs between slices (the slice's
    // cycles, where the return stack's ring stands): the record starts blank.
    KVRestoreState(baseline, baselineSize);
    SwitchToHex();
    korvane::Cpu = CpuState{};
    CrcRegister = 0;
    PendingInterrupts.store(0, std::memory_order_relaxed);
    Flash = FlashChip{};
    SetFlashWriteEnable(false);
    IoRegisterShadow[0x2D] = 0;
    // PC and the first instructions there come first, so that short inputs
    // run a program of their own on any page; the rest fills memory as the
    // step fuzzer's input does.
    const uint32_t pc = in.byte() | in.byte() << 8 | (in.byte() & 15u) << 16;
    uint8_t program[48];
    for (uint8_t& nibble : program)
        nibble = in.byte() & 0x1F;
    const bool hp49 = in.byte() & 1;
    KVConfigure(KV_CONFIG_HP49, hp49);
    KVSetMemoryModule(KV_MODULE_ROM, b.Rom.data(), KV_ROM_NIBBLES - 1);
    const uint32_t ramMask = (0x1000u << (in.byte() % 3)) - 1;
    b.RamNibbles = ramMask + 1;
    b.Port1Nibbles = 0x1000u << (in.byte() % 3);
    KVSetMemoryModule(KV_MODULE_RAM, b.Ram.data(), ramMask);
    KVSetMemoryModule(KV_MODULE_PORT1, b.Port1.data(), b.Port1Nibbles - 1);
    KVSetMemoryModule(KV_MODULE_PORT2, in.byte() & 1 ? b.Port2.data() : nullptr, 0xFFF);
    KVMemoryReset();
    // Either a chain that maps the bank switcher in page 0x7E, or random values.
    if (in.byte() & 1) {
        for (uint32_t v : {0x00100u, 0xF0000u, 0x80000u, 0xFF000u, SwitcherBase, 0xFF000u, 0x7D000u, 0xC0000u,
                           0xC0000u})
            KVMemoryConfig(v);
    } else {
        for (int i = in.byte() % 12; i > 0; --i)
            KVMemoryConfig(in.u32() & 0xFFFFF);
    }
    if (in.byte() & 1)
        KVMemoryUncnfg(in.u32() & 0xFFFFF);
    if (hp49 && (in.byte() & 1))
        SetFlashWriteEnable(true);
    // Every other register from a generator the input seeds: four bytes
    // rather than seventy, so that short inputs reach the program too.
    KVSetRegister(KV_REG_PC, pc);
    uint64_t seed = in.u32() | 1ull << 40;
    for (uint32_t index = KV_REG_PC + 1; index < 72; ++index) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        KVSetRegister(index, static_cast<uint32_t>(seed >> 16));
    }
    // Pointers near the code, at the bank switcher or at port 2 (where the
    // flash takes its commands while mapped), more often than chance.
    const uint8_t aim = in.byte();
    const uint32_t near = in.byte();
    if (aim & 1)
        KVSetRegister(KV_REG_D0, KVGetRegister(KV_REG_PC) + near);
    if (aim & 2)
        KVSetRegister(KV_REG_D1, SwitcherBase | (near & 0x7F));
    if (aim & 4)
        KVSetRegister(aim & 8 ? KV_REG_D1 : KV_REG_D0, 0xC0000 | near);
    if (in.byte() & 1)
        SwitchToDecimal();
    else
        SwitchToHex();
    fuzz::FillMemory(in, b.Rom, b.Ram, ramMask);
    uint32_t module = 0;
    const size_t start = KVTranslateAddress(pc, &module);
    std::vector<uint8_t>& code = module == KV_MODULE_RAM ? b.Ram : b.Rom;
    const size_t end = module == KV_MODULE_RAM ? b.RamNibbles : KV_ROM_NIBBLES;
    for (size_t k = 0; k < sizeof program && start + k < end; ++k)
        code[start + k] = program[k];
}

// The input, and past its end bytes of a generator that it seeds: even the
// short inputs that a fuzzing run starts with set up whole machines and run
// programs of their own.
std::vector<uint8_t> Extended(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (const uint8_t byte : bytes)
        state = (state ^ byte) * 0x100000001B3ull;
    while (bytes.size() < 1024) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        bytes.push_back(static_cast<uint8_t>(state >> 56));
    }
    return bytes;
}

// The host's clock, which the engine's service register 0x2D puts in C on a
// write of 14, is no part of the machine: the runs are compared up to the
// instruction that reads it. The register keeps what was last written, and
// SetUp clears it, so the first 14 seen is the first read.
bool ReadHostClock()
{
    return IoRegisterShadow[0x2D] == 14;
}

// What the host does between two slices of the cached run: after instruction
// Step, write Nibble at PC + Offset (a breakpoint tag with it, or alone).
struct HostWrite {
    int Step;
    uint32_t Offset;
    uint8_t Nibble;
    bool TagOnly;
};

// The slices of the cached run, and the host's writes between them: picked
// by a generator the input seeds, so that the reference, in its own
// process, makes the same writes after the same instructions.
struct Schedule {
    // As KVExecuteRoutine runs them (no request decided, the return to the
    // routine's sentinel ends the run), or as the execution thread does.
    bool Routine = false;
    std::vector<int> Ends; // the instruction after which each slice ends
    std::vector<HostWrite> Writes;
};

Schedule MakeSchedule(const std::vector<uint8_t>& input)
{
    uint64_t state = 0xD1B54A32D192ED03ull;
    for (const uint8_t byte : input)
        state = (state ^ byte) * 0x100000001B3ull;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    Schedule schedule;
    schedule.Routine = (next() & 3) == 0;
    for (int step = 0; step < Steps;) {
        // Mostly short slices, so that a mismatch is found near its cause,
        // now and then a long one that chains many entries.
        const uint64_t r = next();
        const int length = 1 + static_cast<int>(r % 8 == 0 ? (r >> 8) % 400 : (r >> 8) % 12);
        step = std::min(step + length, Steps);
        schedule.Ends.push_back(step - 1);
        if (r % 5 == 0) {
            const uint64_t w = next();
            schedule.Writes.push_back({step - 1, static_cast<uint32_t>(w % 24), static_cast<uint8_t>((w >> 8) & 15),
                                       ((w >> 12) & 3) == 0});
        }
    }
    return schedule;
}

// A host write into the lent buffer behind an address, where one answers.
void WriteAsHost(Buffers& b, uint32_t address, uint8_t nibble, bool tagOnly)
{
    uint32_t module = 0;
    const size_t offset = KVTranslateAddress(address & 0xFFFFF, &module);
    std::vector<uint8_t>* buffer = module == KV_MODULE_ROM     ? &b.Rom
                                   : module == KV_MODULE_RAM   ? &b.Ram
                                   : module == KV_MODULE_PORT1 ? &b.Port1
                                   : module == KV_MODULE_PORT2 ? &b.Port2
                                                               : nullptr;
    if (!buffer || offset + KV_BUFFER_SLACK >= buffer->size())
        return;
    uint8_t& at = (*buffer)[offset];
    at = tagOnly ? static_cast<uint8_t>(at | 0x10) : nibble;
}

void ApplyWrites(Buffers& b, const Schedule& schedule, int step)
{
    for (const HostWrite& w : schedule.Writes)
        if (w.Step == step)
            WriteAsHost(b, korvane::Cpu.PC + w.Offset, w.Nibble, w.TagOnly);
}

// What the reference run leaves for the cached one: shared with the child
// process that makes it.
struct Expected {
    int Count;
    uint64_t Rom;
    Record Records[Steps];
};

// Each instruction through the reference dispatch, as the run loop takes it
// when tracing (a pending request decided after it) or as a routine runs.
void RunReference(Expected& expected, Buffers& b, const Schedule& schedule)
{
    expected.Count = Steps;
    for (int step = 0; step < Steps; ++step) {
        ExecuteInstruction();
        if (!schedule.Routine && InterruptPending())
            DecideInterrupts();
        expected.Records[step] = Take(b);
        if (ReadHostClock()) {
            expected.Count = step;
            break;
        }
        if (schedule.Routine && korvane::Cpu.PC == StartSentinel) {
            expected.Count = step + 1;
            break;
        }
        ApplyWrites(b, schedule, step);
    }
    // The flash writes reach the ROM; it is compared once, at the end.
    expected.Rom = Digest(b.Rom, KV_ROM_NIBBLES, 1);
}

// The code cache, a slice at a time up to the reference's last instruction:
// through the run loop, or through the threaded loop as a routine, which
// ends early only on the routine's sentinel.
void RunCached(const Expected& expected, Buffers& b, const Schedule& schedule)
{
    int done = 0;
    for (const int end : schedule.Ends) {
        const int last = std::min(end, expected.Count - 1);
        if (last < done)
            break;
        const uint32_t count = static_cast<uint32_t>(last + 1 - done);
        if (schedule.Routine) {
            SliceInstructionsLeft = count;
            RunThreaded(true);
            if (SliceInstructionsLeft != 0) {
                const int ran = static_cast<int>(count - SliceInstructionsLeft);
                fuzz::Check(korvane::Cpu.PC == StartSentinel && done + ran == expected.Count &&
                            (ran == 0 || Take(b) == expected.Records[done + ran - 1]));
                return;
            }
        } else {
            RunInstructions(count, false);
        }
        fuzz::Check(Take(b) == expected.Records[last]);
        ApplyWrites(b, schedule, last);
        done = last + 1;
    }
    fuzz::Check(Digest(b.Rom, KV_ROM_NIBBLES, 1) == expected.Rom);
}

} // namespace

// Both runs start from the machine that SetUp leaves: the reference runs in
// a child process forked right after it, so that nothing one run changes
// (the serial port, the display, the timers) reaches the other.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Buffers b;
    static uint8_t baseline[512];
    static const uint32_t baselineSize = KVSaveState(baseline, sizeof baseline);
    static Expected& expected = *static_cast<Expected*>(
        mmap(nullptr, sizeof(Expected), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));

    const std::vector<uint8_t> input = Extended(data, size);
    const Schedule schedule = MakeSchedule(input);
    SetUp(fuzz::Input{input.data(), input.size()}, b, baseline, baselineSize);
    const pid_t child = fork();
    if (child == 0) {
        HostHasBmi2 = false;
        HostHasPclmul = false;
        RunReference(expected, b, schedule);
        _exit(0);
    }
    // The fuzzer's own timer signals interrupt the wait; it goes on.
    int status = 0;
    pid_t waited = -1;
    do
        waited = child > 0 ? waitpid(child, &status, 0) : -1;
    while (waited < 0 && errno == EINTR);
    fuzz::Check(waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    RunCached(expected, b, schedule);
    return 0;
}
