/*
 * Tessock: the helper library between the Korvane engine and a front end.
 *
 * ROM and port images with nibble access, display rendering into a window,
 * the serial link with its Kermit and XModem senders, object placing, and
 * the debugging services (breakpoints, a disassembler and symbols).
 *
 * A plain C interface. Results are 1 or 0 for success, or the value itself.
 * The library starts when it is loaded (after libkorvane.so, which it links)
 * and stops when it is unloaded or the process ends.
 *
 * How the desktop's services appear here:
 * - A window is a KHWindow record that the front end owns. The library draws
 *   with its blit callback (from its render thread) and posts messages with
 *   its post callback (from the engine's execution thread); neither may
 *   wait. The record must stay valid until the library is told to forget it
 *   (KHSetDisplay with another window or null, KHSetBreakpointAction with
 *   action 0) or is unloaded.
 * - The display surface is the library's own RGB555 bitmap (blue in bits 0
 *   to 4, green 5 to 9, red 10 to 14), 144 x scale by 64 x scale pixels, top
 *   row first; a frame is drawn with one blit of scale x width by
 *   scale x height pixels.
 * - The serial link's read end is a file descriptor (close-on-exec) on
 *   which reads block; the library owns it (-1 if the pipe could not be
 *   created). A byte the calculator sends while the pipe is full stays in
 *   its transmitter, which it sees busy, until the pipe has room: a reader
 *   loses nothing. Once nobody has read a full pipe for two seconds the
 *   calculator's bytes are dropped instead, so a pipe nobody reads never
 *   holds it up. The engine never waits for a reader.
 * - Buffers handed over to the library (an XModem block) are allocated with
 *   malloc and released by the library with free.
 */
#ifndef TESSOCK_H
#define TESSOCK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TESSOCK_BUILDING)
#define KH_API __attribute__((visibility("default")))
#else
#define KH_API
#endif

typedef struct KHWindow {
    void* context;
    /* Copy width x height RGB555 pixels (pitch: pixels from one row to the next) to (x, y) of the window. */
    void (*blit)(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width, uint32_t height);
    /* Queue (message, first, second) for the window; never waits. */
    void (*post)(void* context, uint32_t message, uintptr_t first, uintptr_t second);
} KHWindow;

/* Sends one byte (the low 8 bits) to the calculator; the result is not used
   by the senders. */
typedef int32_t (*KHByteSenderProc)(uint32_t byte);

/* ROM and port images (one nibble per byte). Sizes count nibbles; created
   images are a power of two of at least 4096 nibbles, all zero. Replace or
   destroy an image only while the engine is stopped. */
KH_API uint32_t KHLoadRom(const char* path);
KH_API uint32_t KHCreateRom(uint32_t size);
KH_API uint32_t KHCreatePort0(uint32_t size);
KH_API uint32_t KHCreatePort1(uint32_t size);
KH_API uint32_t KHCreatePort2(uint32_t size);
KH_API void KHDestroyRom(void);
KH_API void KHDestroyPort0(void);
KH_API void KHDestroyPort1(void);
KH_API void KHDestroyPort2(void);
/* The image's size (0 when there is none) and buffer (null when there is
   none); the buffer stays the library's. */
KH_API void KHGetRom(uint32_t* size, uint8_t** buffer);
KH_API void KHGetPort0(uint32_t* size, uint8_t** buffer);
KH_API void KHGetPort1(uint32_t* size, uint8_t** buffer);
KH_API void KHGetPort2(uint32_t* size, uint8_t** buffer);
/* Nibble access by calculator address (20 bits) through the current memory
   map, straight to the images: no CRC update, no bank switch. */
KH_API uint8_t KHReadNibble(uint32_t address);
KH_API void KHWriteNibble(uint32_t address, uint32_t nibble);

/* Serial link. KHSerialSendByte waits up to timeoutMs for the calculator to
   have read the previous byte (0xFFFFFFFF: no limit); 1 when the engine
   took the byte, 0 when the wait timed out or the engine refused it. */
KH_API uint32_t KHSerialSendByte(uint32_t byte, uint32_t timeoutMs);
KH_API int KHSerialGetHandle(void);

/* Display. scale: 1, 2 or 4 (anything else, a null window, or an LCD
   larger than 144 by 64 detaches); width and height 0 mean 131 by 64. Call
   it while the engine is stopped. */
KH_API void KHSetDisplay(KHWindow* window, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t scale);
KH_API void KHRefreshDisplay(void);
KH_API uint32_t KHGetRenderedFPS(void);
KH_API uint32_t KHGetDisplayedFPS(void);

/* Object placing (engine stopped; it stays stopped). count: nibbles. The
   calculator's routine at 0x3019 measures the object. 1 placed; 0 refused,
   memory as it was: no room, no port 1, or an object measured longer than
   count. */
KH_API uint32_t KHPushObject(const uint8_t* nibbles, uint32_t count);
KH_API uint32_t KHLoadInPort1(const char* name, const uint8_t* nibbles, uint32_t count);

/* Breakpoints. A banked ROM address has the offset in bits 0 to 17 and the
   bank in bits 20 to 23. Action 1 stops the engine and posts (message,
   first, 0) to the window: first is 0 for a breakpoint or PC=(A), 1 for a
   return-stack push, 2 for a pop. Action 0 removes the handlers; once it
   has returned the window is no longer used. Addresses use their low 20
   bits; a place without an image byte is ignored. */
KH_API void KHAddBreakpoint(uint32_t address);
KH_API void KHRemoveBreakpoint(uint32_t address);
KH_API void KHAddRomBreakpoint(uint32_t bankedAddress);
KH_API void KHRemoveRomBreakpoint(uint32_t bankedAddress);
KH_API void KHSetBreakpointAction(int32_t action, KHWindow* window, uint32_t message);

/* File transfer to the calculator. A null sender selects the library's own,
   which sends through KHSerialSendByte (waiting up to 1000 ms a byte for
   Kermit, 1 ms for XModem). KHKermitSendFile copies the name and the data
   and sends the Send-Init before it returns; a null name, or null data with
   a size, starts nothing, and a name longer than the receiver's packets
   allow is cut. KHXModemSendFile takes over the malloc'ed buffer and frees
   it once the end of transmission is acknowledged, the receiver cancels
   (two CANs in a row), it answers one block (or the end) with ten NAKs in
   a row, or another transfer replaces it; a null buffer arms nothing. Only
   the receiver's ACK and NAK send a block (the next one, the same one):
   other bytes send nothing. Feed every byte the calculator transmits to
   the matching OnByteReceived, which sends the next packet or block from
   the calling thread. Each sender holds a lock of its own while
   a packet goes out: a byte sender must not call back into it. */
KH_API void KHKermitSendFile(KHByteSenderProc sender, const char* name, const uint8_t* data, uint32_t size);
KH_API void KHKermitOnByteReceived(uint32_t byte);
KH_API void KHXModemSendFile(KHByteSenderProc sender, uint8_t* buffer, uint32_t size);
KH_API void KHXModemOnByteReceived(uint32_t byte);

/* Disassembler and symbols (one thread at a time). KHDisassemble writes at
   most size bytes, the NUL included (a text that does not fit is cut), and
   returns the next address, which never depends on the buffer: size 0 or a
   null buffer gets nothing written. Targets are shown by the name registered
   for their address. KHAddSymbol registers a copy of the name for
   address + the symbol base; the first name for an address stays.
   KHGetSymbol returns the bytes written, the NUL included (1 when there is
   no name, and for size 0 or a null buffer, which get nothing). */
KH_API uint32_t KHDisassemble(uint32_t address, uint32_t size, char* buffer);
KH_API void KHAddSymbol(uint32_t address, const char* name);
KH_API uint32_t KHGetSymbol(uint32_t address, uint32_t size, char* buffer);
KH_API void KHSetSymbolBase(uint32_t base);

/* Kept for old clients: they do nothing. */
KH_API uint32_t KHStartServer(uint32_t number);
KH_API void KHShutdownServer(void);

#ifdef __cplusplus
}
#endif

#endif
