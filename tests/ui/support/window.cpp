#include "tests/ui/support/window.h"

#include <QDir>
#include <QFile>
#include <poll.h>
#include <unistd.h>

#include "korvane.h"
#include "saturn_asm/assembler.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "ui/file_prompt.h"

namespace uitest {

bool LastDialogWasForLoading = false;
static QString Answer;

void AnswerFileDialogWith(const QString& path)
{
    Answer = path;
    pelrin::SetFileNamePrompt([](QWidget*, QString& name, bool load) {
        LastDialogWasForLoading = load;
        name = Answer;
        return !Answer.isEmpty();
    });
}

namespace {

// A routine, run in the ROM image in place of what is there, that takes a
// byte waiting in the calculator's receive register (the link is then ready
// for the next), empties its transmitter and switches the port off.
const char* const EmptySerialPort = R"(
IO      = #F0000
        ORG     #0F000
        LC(5)   IO
        CONFIG
        D1=(5)  IO+#14
        C=DAT1.B
        P=      0
        LC(1)   0
        D1=(5)  IO+#12
        DAT1=C.P
        D1=(5)  IO+#10
        DAT1=C.P
        RTN
)";

// The serial link as a new process finds it, whatever an earlier window
// left (one closed in the middle of a transfer leaves the byte it sent last
// in the calculator's receive register): that byte taken, so that the link
// is ready, the transmitter empty, the port off, and nothing in the pipe.
void EmptySerialLink()
{
    uint32_t size = 0;
    uint8_t* rom = nullptr;
    KHGetRom(&size, &rom);
    const saturn::Assembly routine = saturn::Assemble(EmptySerialPort);
    if (rom && routine.ok()) {
        KVConfigure(2, 0); // the ROM flat, where the routine goes; the window switches its banks on again
        for (const saturn::Chunk& chunk : routine.Chunks) {
            std::vector<uint8_t> held(rom + chunk.Address, rom + chunk.Address + chunk.Nibbles.size());
            std::copy(chunk.Nibbles.begin(), chunk.Nibbles.end(), rom + chunk.Address);
            KVExecuteRoutine(chunk.Address);
            std::copy(held.begin(), held.end(), rom + chunk.Address);
        }
        KVReset(); // the memory map too
    }
    pollfd waiting{KHSerialGetHandle(), POLLIN, 0};
    for (uint8_t bytes[4096]; poll(&waiting, 1, 0) > 0 && read(waiting.fd, bytes, sizeof bytes) > 0;) {
    }
}

} // namespace

OpenWindow::OpenWindow(bool withFiles) : Previous(QDir::currentPath())
{
    const auto copy = [this](const char* from, const char* to) { return QFile::copy(from, Path(to)); };
    if (Dir.isValid() && (!withFiles || (copy(PELRIN_DEMO_ROM, "ROM.E49") && copy(PELRIN_SKIN_PATH, "HP49.BMP"))) &&
        QDir::setCurrent(Dir.path())) {
        // The machine as a new process finds it: stopped, from reset, no
        // key down. The libraries outlive a window (closing leaves the
        // engine running), and the ports the window creates would pull a
        // running ROM's memory away from under it.
        KVReset();
        for (int32_t key = 0; key < 81; ++key)
            KVReleaseKey(key % 9, key / 9);
        KVReleaseKey(9, 9); // ON
        EmptySerialLink();
        Window = std::make_unique<pelrin::CSkinWnd>();
        Window->CreateSkinWindow();
    }
}

OpenWindow::~OpenWindow()
{
    Window.reset();
    QDir::setCurrent(Previous);
}

std::string OpenWindow::LcdLine(unsigned n) const
{
    // Each LCD dot is a 2 by 2 block of grey; dark below half.
    return test::ShownLine(
        [this](unsigned x, unsigned y) {
            return qGray(Window->Backing.pixel(pelrin::LcdX + 2 * int(x), pelrin::LcdY + 2 * int(y))) < 128;
        },
        n);
}

} // namespace uitest
