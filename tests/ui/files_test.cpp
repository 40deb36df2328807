// The "&Object" and "&State" commands on the real libraries with the
// demonstration ROM. The engine runs after every command past its dialog.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/window.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"
#include "ui/file_prompt.h"

using namespace uitest;
using Bytes = std::vector<uint8_t>;

namespace pelrin {
namespace {

Bytes Read(const QString& path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return Bytes(bytes.begin(), bytes.end());
}

// Port p's image, writable; null when the port is absent.
uint8_t* PortImage(int p, uint32_t& size)
{
    uint8_t* image = nullptr;
    (p == 0 ? KHGetPort0 : p == 1 ? KHGetPort1 : KHGetPort2)(&size, &image);
    return image;
}

void PutWord(Bytes& bytes, uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
}

uint32_t Word(const Bytes& file, size_t at)
{
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24;
}

// The registers the tests set (PC, D0, D1, A to D, the flags): 12 words.
const uint32_t Indexes[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 28};

// The machine, stopped: those registers, then each port's size and image as
// a state file lays them out.
Bytes Snapshot()
{
    KVStop();
    Bytes machine;
    for (uint32_t index : Indexes)
        PutWord(machine, KVGetRegister(index));
    for (int p = 0; p < 3; ++p) {
        uint32_t size = 0;
        const uint8_t* image = PortImage(p, size);
        PutWord(machine, image ? size : 0);
        machine.insert(machine.end(), image, image ? image + size : image);
    }
    return machine;
}

// Sets a machine that stands still while it runs: a jump to itself in RAM
// (port 0 at #80000), interrupts held off, registers and ports after the seed.
Bytes Set(uint32_t seed)
{
    KVStop();
    for (int p = 0; p < 3; ++p) {
        uint32_t size = 0;
        uint8_t* image = PortImage(p, size);
        for (uint32_t i = 0; i < size; ++i)
            image[i] = static_cast<uint8_t>((i * (7 + 2 * seed) + (i >> 9) + 3 * p + seed) & 0xF);
        if (p == 0)
            std::copy_n(std::begin({6, 15, 15, 15}), 4, image + 0x40000); // #C0000: GOTO #C0000
    }
    // The flags: P 5, in interrupt service, carry; ST from the seed.
    for (uint32_t index : Indexes)
        KVSetRegister(index, index == 0    ? 0xC0000
                             : index == 28 ? 0x305u | (0xBE00u + seed) << 16
                             : index <= 2  ? (0x12345u * (index + seed)) & 0xFFFFF
                                           : 0x9E3779B9u * (index + 7 * seed));
    return Snapshot();
}

class Files : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Window.ready()); }
    // Writes the file unless bytes is null, has the next dialog choose it and runs the command.
    void Run(uint32_t command, const char* name, const Bytes* bytes = nullptr)
    {
        QFile file(Window.Path(name));
        if (bytes) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes->data()), bytes->size()), qint64(bytes->size()));
            file.close();
        }
        AnswerFileDialogWith(file.fileName());
        EXPECT_TRUE(Window->OnCommand(command, 0));
        EXPECT_EQ(LastDialogWasForLoading, command != CmdSaveState);
    }
    void Load(uint32_t command, const char* name, const Bytes& bytes) { Run(command, name, &bytes); }
    // The engine runs the machine.
    void Expect(const Bytes& machine)
    {
        EXPECT_EQ(KVIsRunning(), 1u);
        EXPECT_TRUE(Snapshot() == machine);
        KVRun();
    }
    bool NoTemporaryFile() const { return QDir(Window.Path("")).entryList({"*.tmp*"}).isEmpty(); }
    // The failure boxes shown over the window, each as its heading and its
    // reason on a line of their own; they are closed.
    QStringList Said() const
    {
        QStringList said;
        for (QMessageBox* box : Window->findChildren<QMessageBox*>()) {
            if (box->isVisible() && box->windowModality() == Qt::WindowModal)
                said << box->text() + "\n" + box->informativeText();
            delete box;
        }
        return said;
    }
    QString NotLoaded(const char* name, const char* reason) const
    {
        return QString("The object file \"%1\" was not loaded.\n%2").arg(Window.Path(name), reason);
    }
    QString StateNotLoaded(const char* name, const QString& reason) const
    {
        return QString("The state was not loaded from \"%1\".\n%2").arg(Window.Path(name), reason);
    }

    OpenWindow Window;
};

TEST_F(Files, ObjectsGoOntoTheStackIntoPort1UnderTheirNameOrToTheRomsXModemReceiver)
{
    // The string "AB": an 8-byte header, then prolog 02A2C, length 9 and the
    // text 41 42, two nibbles a byte, the low one first.
    const Bytes ab = {'H', 'P', 'H', 'P', '4', '9', '-', 'W', 0x2C, 0x2A, 0x90, 0x00, 0x00, 0x41, 0x42};
    ASSERT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000000"));
    Window->OnCommand(CmdConsole, 0);
    // A cancelled dialog or a file refused changes nothing, the engine left
    // stopped; a refusal says why.
    KVStop();
    ASSERT_TRUE(QDir(Window.Path("")).mkdir("folder"));
    const std::pair<const char*, const char*> answers[] = {
        {"", nullptr}, {"missing", "No such file or directory."}, {"folder", "It is a directory."}};
    for (const auto& [answer, reason] : answers)
        for (uint32_t command : {CmdLoadWithKermit, CmdLoadWithXModem, CmdLoadOnStack, CmdLoadInPort1}) {
            AnswerFileDialogWith(*answer ? Window.Path(answer) : QString());
            EXPECT_TRUE(Window->OnCommand(command, 0));
            EXPECT_TRUE(KVIsRunning() == 0 && Window->TransferMode == 0 && Window->Console->isVisible()) << command;
            EXPECT_EQ(Said(), reason ? QStringList{NotLoaded(answer, reason)} : QStringList{}) << command;
        }
    // Files of a header or less place nothing; shorter than it they are refused.
    for (size_t size : {8u, 7u, 0u})
        for (uint32_t command : {CmdLoadOnStack, CmdLoadInPort1}) {
            Load(command, "short", Bytes(size, 0x2C));
            const QString reason = QString("It is %1 bytes long, shorter than the 8-byte header of an object.").arg(size);
            EXPECT_EQ(Said(), size < 8 ? QStringList{NotLoaded("short", qPrintable(reason))} : QStringList{}) << size;
        }
    uint32_t size = 0;
    const uint8_t* port1 = PortImage(1, size);
    EXPECT_TRUE(size == 0x40000 && std::all_of(port1, port1 + size, [](uint8_t nibble) { return nibble == 0; }));
    // On the stack, whether the engine ran or not; it runs afterwards.
    KVStop();
    Load(CmdLoadOnStack, "ab.str", ab);
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000001")) << Window.LcdLine(test::StackLine);
    Load(CmdLoadOnStack, "ab.str", ab);
    EXPECT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000002")) << Window.LcdLine(test::StackLine);

    // In port 1, under the name after the path's last '/': the name's length,
    // "GAME.LIB" two nibbles a character, the length again, then the object.
    Load(CmdLoadInPort1, "GAME.LIB", ab);
    const Bytes entry = {8, 0, 7, 4, 1, 4, 0xD, 4, 5, 4, 0xE, 2, 0xC, 4, 9, 4, 2, 4, 8, 0, // 8, "GAME.LIB", 8
                         0xC, 0x2, 0xA, 0x2, 0x0, 0x9, 0x0, 0x0, 0x0, 0x0, 0x1, 0x4, 0x2, 0x4};
    EXPECT_TRUE(std::equal(entry.begin(), entry.end(), port1 + 10));

    // With XModem, to the ROM's receiver once X asks for it; the console gets nothing.
    Bytes file(1000);
    unsigned sum = 0;
    for (size_t i = 0; i < file.size(); ++i)
        sum += file[i] = static_cast<uint8_t>(i * 13 + 5);
    ASSERT_TRUE(Window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE"));
    Load(CmdLoadWithXModem, "data.bin", file);
    EXPECT_TRUE(Window->TransferMode == 2 && !Window->Console->isVisible());
    KVPressKey(4, 2);
    EXPECT_TRUE(Window.WaitForLcdLine(test::XModemLine, "XMODEM RECEIVING..."));
    KVReleaseKey(4, 2);
    char expected[64];
    std::snprintf(expected, sizeof expected, "XMODEM %07u BYTES SUM %04X", 1000u, sum & 0xFFFF);
    EXPECT_TRUE(Window.WaitForLcdLine(test::XModemLine, expected, 30s)) << Window.LcdLine(test::XModemLine);
    Window->Console->FlushReceivedText();
    EXPECT_TRUE(Window->Console->ReceivedText->toPlainText().isEmpty());
    // 131072 bytes at most.
    Window->OnCommand(CmdConsole, 0);
    Load(CmdLoadWithXModem, "over.bin", Bytes(131073, 0x55));
    EXPECT_TRUE(Window->TransferMode == 0 && Window->Console->isVisible());
    EXPECT_EQ(Said(), QStringList{NotLoaded("over.bin", "It is 131073 bytes long, more than the 131072 bytes such a file may have.")});
    Load(CmdLoadWithXModem, "largest.bin", Bytes(131072, 0x55));
    EXPECT_TRUE(Window->TransferMode == 2 && !Window->Console->isVisible());
}

TEST_F(Files, AStateFileIsTheStateBlockThenEachPortLoadsBackWholeAndAFailedSaveOrABadFileChangesNothing)
{
    const Bytes saved = Set(1);
    Run(CmdSaveState, "machine.state");
    EXPECT_EQ(KVIsRunning(), 1u);
    const Bytes file = Read(Window.Path("machine.state"));
    ASSERT_EQ(file.size(), 1049100u);
    // The block begins with PC, D0 and D1; the ports follow it.
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 12, saved.begin()) && Word(file, 0) == 0xC0000);
    EXPECT_TRUE(std::equal(file.begin() + 512, file.end(), saved.begin() + 48, saved.end()));
    EXPECT_TRUE(NoTemporaryFile());

    // Another machine, with port 2 of another size and port 1 gone; the file
    // brings the first back. Saving and loading are timed.
    Set(2);
    KHCreatePort2(0x1000);
    KHDestroyPort1();
    KVRun();
    qint64 save = std::numeric_limits<qint64>::max(), load = save;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer clock;
        clock.start();
        Run(CmdLoadState, "machine.state");
        load = std::min(load, clock.nsecsElapsed() / 1000);
        clock.restart();
        Run(CmdSaveState, "timed.state");
        save = std::min(save, clock.nsecsElapsed() / 1000);
    }
    std::printf("FIGURE state_save_us=%lld state_load_us=%lld\n", static_cast<long long>(save),
                static_cast<long long>(load));
    EXPECT_LT(save, PELRIN_INSTRUMENTED ? 500000 : 50000);
    EXPECT_LT(load, PELRIN_INSTRUMENTED ? 500000 : 50000);
    Expect(saved);

    // An absent port saves as size 0.
    KHDestroyPort1();
    Run(CmdSaveState, "no-port-1.state");
    const Bytes absent = Read(Window.Path("no-port-1.state"));
    ASSERT_EQ(absent.size(), 524u + 0x80000 + 0x40000);
    EXPECT_TRUE(Word(absent, 516 + 0x80000) == 0 && Word(absent, 520 + 0x80000) == 0x40000);

    // A failed save leaves the old file and says so; a file that is no state
    // file changes nothing.
    EXPECT_TRUE(Said().isEmpty());
    const Bytes old = {'o', 'l', 'd'};
    const Bytes machine = Set(4);
    Load(CmdLoadState, "old.state", old);
    Expect(machine);
    EXPECT_EQ(Said(), QStringList{StateNotLoaded("old.state", "It is 3 bytes long and ends before the size of port 0: it is cut short, or no state file.")});
    // The disk fills up after 64 KiB.
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = 65536;
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    Run(CmdSaveState, "old.state");
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(Read(Window.Path("old.state")) == old && NoTemporaryFile() && KVIsRunning());
    const QString notSaved = "The state was not saved to \"%1\".\n%2";
    EXPECT_EQ(Said(), QStringList{notSaved.arg(Window.Path("old.state"), "File too large.")});
    // Where no file can be made none is, and the engine runs; a cancelled
    // dialog leaves the engine as it was and says nothing.
    ASSERT_TRUE(QDir(Window.Path("")).mkdir("folder.state"));
    for (const auto& [name, reason] : {std::pair{"missing/dir.state", QString("No file can be made in %1: No such file or directory.").arg(Window.Path("missing"))},
                                       {"folder.state", QString("It is a directory.")}}) {
        KVStop();
        Run(CmdSaveState, name);
        EXPECT_EQ(KVIsRunning(), 1u);
        EXPECT_EQ(Said(), QStringList{notSaved.arg(Window.Path(name), reason)});
    }
    KVStop();
    AnswerFileDialogWith(QString());
    Window->OnCommand(CmdSaveState, 0);
    Window->OnCommand(CmdLoadState, 0);
    EXPECT_EQ(KVIsRunning(), 0u);
    EXPECT_TRUE(Said().isEmpty());

    // Port 1's size field changed, the file cut or grown to match it.
    const auto port1Of = [&](uint32_t size) {
        Bytes changed(file.begin(), file.begin() + 516 + 0x80000);
        PutWord(changed, size);
        changed.resize(changed.size() + size, 0x03);
        changed.insert(changed.end(), file.end() - 4 - 0x40000, file.end());
        return changed;
    };
    Bytes random(file.size()), longer = file;
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    longer.push_back(0);
    const QString cut = "It is %1 bytes long and ends before the size of port 0: it is cut short, or no state file.";
    const QString size = "It is no state file: it gives port %1 a size of %2 nibbles, which no port has.";
    const std::pair<Bytes, QString> bad[] = {
        {Bytes(file.begin(), file.end() - 1), "It is 1049099 bytes long where the port sizes in it make 1049100: it is cut short."},
        {longer, "It is 1049101 bytes long where the port sizes in it make 1049100: something follows the last port."},
        {Bytes(file.begin(), file.begin() + 512), cut.arg(512)},
        {Bytes(file.begin(), file.begin() + 100), cut.arg(100)},
        {port1Of(0x3000), size.arg(1).arg(0x3000)},
        {port1Of(0x800), size.arg(1).arg(0x800)},
        {random, size.arg(0).arg(Word(random, 512))}};
    for (const auto& [bytes, reason] : bad) {
        KVStop();
        Load(CmdLoadState, "bad.state", bytes);
        Expect(machine);
        EXPECT_EQ(Said(), QStringList{StateNotLoaded("bad.state", reason)});
    }
    // Nor does what is no file, or no file that can be read.
    const std::string fifo = Window.Path("fifo.state").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [name, reason] : {std::pair{"missing.state", "No such file or directory."},
                                       {"fifo.state", "It is a named pipe, not a file."},
                                       {"folder.state", "It is a directory."}}) {
        KVStop();
        Run(CmdLoadState, name);
        Expect(machine);
        EXPECT_EQ(Said(), QStringList{StateNotLoaded(name, reason)});
    }
}

TEST_F(Files, TheFileDialogListsEveryFileWithADotInItsNameOrWithout)
{
    for (const char* name : {"NODOT", "with.dot"}) {
        QFile file(Window.Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QStringList listed;
    QTimer::singleShot(0, [&] {
        // The dialog lists the working directory once its model has read it.
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        const auto* view = dialog ? dialog->findChild<QAbstractItemView*>("listView") : nullptr;
        WaitFor([&] {
            listed.clear();
            for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
                listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
            return listed.contains("with.dot");
        });
        if (dialog)
            dialog->reject();
    });
    SetFileNamePrompt(nullptr);
    KVStop();
    Window->OnCommand(CmdLoadState, 0);
    AnswerFileDialogWith(QString());
    EXPECT_TRUE(listed.contains("NODOT") && listed.contains("ROM.E49")) << listed.join(' ').toStdString();
    EXPECT_TRUE(KVIsRunning() == 0 && Said().isEmpty());
    KVRun();
}

// Standard error's lines while f runs.
QStringList StandardErrorOf(const std::function<void()>& f)
{
    QTemporaryFile capture;
    if (!capture.open())
        return {"no file"};
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(capture.handle(), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    capture.seek(0);
    return QString::fromLocal8Bit(capture.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST(StartFiles, ARefusedRomAndAMissingSkinAreSaidOnStandardErrorAndInOneBoxOnceTheWindowShows)
{
    QTemporaryDir dir;
    QFile rom(dir.filePath("ROM.E49"));
    ASSERT_TRUE(rom.open(QIODevice::WriteOnly) && rom.write(QByteArray(1000, 'x')) == 1000);
    rom.close();
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    // The machine as a new process finds it, stopped: the tests before may
    // have left it running, and the window configures it as it opens.
    KVReset();
    auto window = std::make_unique<CSkinWnd>();
    QStringList said = StandardErrorOf([&] { window->CreateSkinWindow(); });
    QDir::setCurrent(previous);
    said = said.filter(QRegularExpression("^pelrin: "));
    const QString romRefused = "It is no ROM image: a raw image of 0x100000 or 0x400000 bytes, or a packed one.";
    const QString skinMissing = "No such file or directory.";
    EXPECT_EQ(said, (QStringList{"pelrin: ROM.E49 in " + dir.path() + ": " + romRefused,
                                 "pelrin: HP49.BMP in " + dir.path() + ": " + skinMissing}));
    const QList<QMessageBox*> boxes = window->findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(window->isVisible() && boxes[0]->isVisible() && KVIsRunning());
    EXPECT_EQ(boxes[0]->text(), "Pelrin reads ROM.E49 and HP49.BMP from its working directory, " + dir.path() + ".");
    EXPECT_EQ(boxes[0]->informativeText(), "ROM.E49: " + romRefused + "\nHP49.BMP: " + skinMissing);
}

} // namespace
} // namespace pelrin
