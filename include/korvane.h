/*
 * Korvane: the Saturn emulation engine of the HP 49G emulator.
 *
 * A plain C interface. Every function may be called from any thread unless
 * its comment says otherwise; the engine runs the emulated processor on a
 * thread of its own once KVRun has been called.
 *
 * Memory buffers lent to the engine hold one nibble per byte (bits 0-3; bit 4
 * marks a breakpoint on the first nibble of an instruction). Instruction
 * fetch and five-nibble reads may run a few nibbles past a buffer's last
 * nibble, so EVERY BUFFER LENT WITH KVSetMemoryModule MUST BE READABLE FOR
 * KV_BUFFER_SLACK BYTES PAST ITS SIZE. A ROM buffer must cover
 * KV_ROM_NIBBLES nibbles (plus the slack): the ROM is reached by bank with
 * offsets up to 0x3FFFFF whatever was lent.
 */
#ifndef KORVANE_H
#define KORVANE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KORVANE_BUILDING)
#define KV_API __attribute__((visibility("default")))
#else
#define KV_API
#endif

#define KV_BUFFER_SLACK 64u
#define KV_ROM_NIBBLES 0x400000u
#define KV_STATE_SIZE 358u

/* Memory module ids. */
enum {
    KV_MODULE_IO = 0,
    KV_MODULE_RAM = 1,
    KV_MODULE_BANK_SWITCHER = 2,
    KV_MODULE_PORT1 = 3,
    KV_MODULE_PORT2 = 4,
    KV_MODULE_ROM = 5,
    KV_MODULE_NONE = 7
};

/* Serial events passed to a SerialHandlerProc. */
enum {
    KV_SERIAL_CHANNEL = 1,
    KV_SERIAL_OPENED = 2,
    KV_SERIAL_CLOSED = 3,
    KV_SERIAL_TRANSMIT = 4,
    KV_SERIAL_RECEIVE_READ = 5,
    KV_SERIAL_BAUD = 6
};

/* Register numbering of KVGetRegister and KVSetRegister. */
enum {
    KV_REG_PC = 0,
    KV_REG_D0 = 1,
    KV_REG_D1 = 2,
    KV_REG_A_LOW = 4,
    KV_REG_R0_LOW = 12,
    KV_REG_FLAGS = 28,
    KV_REG_OUT = 29,
    KV_REG_IN = 30,
    KV_REG_LOW_BANK = 31,
    KV_REG_HIGH_BANK = 32,
    KV_REG_CYCLES_LOW = 33,
    KV_REG_CYCLES_HIGH = 34,
    KV_REG_RSTK_INDEX = 63,
    KV_REG_RSTK0 = 64
};

/* Options of KVConfigure. */
enum {
    KV_CONFIG_SLICE_CYCLES = 1, /* cycle budget per time slice; 0xFFFFFFFF: none */
    KV_CONFIG_HP49 = 2          /* nonzero: the HP 49G memory hardware (ROM banks, flash) on */
};

/* Entered in place of an instruction whose first nibble carries a breakpoint. */
typedef void (*BreakpointHandlerProc)(void);
/* 1 before every return-stack push, 2 before every pop, 0 before PC=(A). */
typedef uint32_t (*DebuggingHackHandlerProc)(uint32_t code);
/* A finished LCD frame: one byte per pixel, rows of stride bytes, the
   picture starting at column leftOffset. Give it back with KVDiscardFrame. */
typedef void (*DisplayHandlerProc)(const uint8_t* frame, uint32_t leftOffset, uint32_t stride);
/* Called on the pressing thread before the key matrix changes. */
typedef void (*KeyboardHandlerProc)(int32_t column, int32_t row, uint32_t down);
/* Called with the engine's serial lock held: must not block. For
   KV_SERIAL_TRANSMIT the result says whether the byte was taken: 0 leaves
   it in the calculator's transmit register, which the calculator then sees
   busy, and the engine offers it again (when the calculator looks at its
   transmitter, and every time slice) until it is taken. Other events'
   results are not used. */
typedef uint32_t (*SerialHandlerProc)(uint32_t event, uint32_t value);
/* Returns 0 to drop the request. */
typedef int32_t (*InterruptHandlerProc)(uint32_t bits);

/* Run control. */
KV_API void KVRun(void);
KV_API void KVStop(void);
KV_API uint32_t KVIsRunning(void);
KV_API void KVStep(void);
KV_API void KVReset(void);
KV_API uint32_t KVConfigure(int32_t option, uint32_t value);
/* Runs the routine at address to its return, on the caller's thread; call
   it with the engine stopped. */
KV_API void KVExecuteRoutine(uint32_t address);

/* Registers and return stack (call these with the engine stopped). */
KV_API uint32_t KVGetRegister(uint32_t index);
KV_API void KVSetRegister(uint32_t index, uint32_t value);
KV_API void KVRstkPush(uint32_t value);
KV_API uint32_t KVRstkPop(void);

/* Memory. buffer: mask + 1 nibbles plus KV_BUFFER_SLACK readable bytes, the
   size a power of two of at least 4096 nibbles (other masks are refused and
   the module keeps what it had); null detaches the module. The ROM's mask is
   not used: its buffer always covers KV_ROM_NIBBLES. */
KV_API void KVSetMemoryModule(uint32_t id, uint8_t* buffer, uint32_t mask);
KV_API uint32_t KVTranslateAddress(uint32_t address, uint32_t* module);
KV_API void KVMemoryReset(void);
KV_API void KVMemoryConfig(uint32_t value);
KV_API void KVMemoryUncnfg(uint32_t address);

/* Display. */
KV_API void KVSetDisplaySize(uint32_t width, uint32_t height);
KV_API void KVSetDisplayHandler(DisplayHandlerProc handler);
KV_API void KVDiscardFrame(const uint8_t* frame);
KV_API void KVForceRefresh(void);
KV_API uint8_t KVGetAnnunciators(void);

/* Keyboard: column and row 0 to 8; any other pair is the ON key. */
KV_API void KVPressKey(int32_t column, int32_t row);
KV_API void KVReleaseKey(int32_t column, int32_t row);
KV_API uint32_t KVIsKeyPressed(int32_t column, int32_t row);
KV_API void KVSetKeyboardHandler(KeyboardHandlerProc handler);

/* Serial port: channel 1 is the only one. */
KV_API uint32_t KVSerialSendByte(uint32_t channel, uint32_t byte);
KV_API void KVSetSerialHandler(SerialHandlerProc handler);

/* Handlers. */
KV_API void KVSetBreakpointHandler(BreakpointHandlerProc handler);
KV_API void KVSetDebuggingHackHandler(DebuggingHackHandlerProc handler);
KV_API void KVSetInterruptHandler(InterruptHandlerProc handler, uint32_t mask);

/* Machine state: KV_STATE_SIZE bytes at buffer. Both stop the engine and
   leave it stopped, and return 1 when size > KV_STATE_SIZE, else 0. A null
   buffer or one shorter than KV_STATE_SIZE is refused (0, nothing done). */
KV_API uint32_t KVSaveState(uint8_t* buffer, uint32_t size);
KV_API uint32_t KVRestoreState(const uint8_t* buffer, uint32_t size);

/* Trace log of executed instruction addresses (engine stopped). */
KV_API void KVLogConfigure(uint32_t mode, uint32_t capacity);
KV_API void KVLogClear(void);
KV_API uint32_t KVLogRead(uint32_t* buffer, uint32_t max);

/* Inert hook interface, kept for old clients. */
KV_API uint32_t KVAddHook(uintptr_t a, uintptr_t b);
KV_API void KVRemoveHook(uintptr_t a);
KV_API uint32_t KVChainNextHook(void);

#ifdef __cplusplus
}
#endif

#endif
