// The "&Object" commands: an object file from the PC into the calculator,
// sent through its serial port with Kermit or XModem (a program on the
// calculator must be receiving), or placed straight into its memory, on
// the stack or in port 1, with the engine stopped meanwhile.
#include <QFile>
#include <cstdlib>
#include <cstring>

#include "korvane.h"
#include "tessock.h"
#include "ui/console_dlg.h"
#include "ui/failure_box.h"
#include "ui/file_prompt.h"
#include "ui/object_file.h"
#include "ui/skin_wnd.h"
#include "ui/transfer_writer.h"

namespace pelrin {

namespace {

// The name every Kermit transfer gives its file, whatever it is called here.
constexpr char KermitFileName[] = "FOO";

enum TransferModes : int32_t { ToConsole = 0, ToKermit = 1, ToXModem = 2 };

} // namespace

std::optional<std::pair<std::string, std::vector<uint8_t>>> CSkinWnd::ChooseObjectFile()
{
    QString name;
    if (!PromptForFileName(this, name, true))
        return std::nullopt;
    std::string path = QFile::encodeName(name).toStdString();
    std::string why;
    std::optional<std::vector<uint8_t>> bytes = ReadObjectFile(path, why);
    if (!bytes) {
        ObjectRefused(name, why);
        return std::nullopt;
    }
    return std::make_pair(std::move(path), std::move(*bytes));
}

void CSkinWnd::ObjectRefused(const QString& name, const std::string& why)
{
    SayFailure(this, QStringLiteral("The object file \"%1\" was not loaded.").arg(name), QString::fromStdString(why));
}

void CSkinWnd::LoadObjectWithKermit()
{
    const auto file = ChooseObjectFile();
    if (!file)
        return;
    Console->hide();
    // Set before the first packet, so that the answer already finds the
    // Kermit receiver. The packet only joins the writer's queue: the GUI
    // never waits for the calculator, running or not.
    TransferMode = ToKermit;
    const std::vector<uint8_t>& data = file->second;
    KHKermitSendFile(&TransferByteSender, KermitFileName, data.data(), static_cast<uint32_t>(data.size()));
}

void CSkinWnd::LoadObjectWithXModem()
{
    const auto file = ChooseObjectFile();
    if (!file)
        return;
    // The library takes the block over and frees it. One byte at least, so
    // that an empty file still gives a block (a null one arms nothing).
    const std::vector<uint8_t>& data = file->second;
    auto* block = static_cast<uint8_t*>(std::malloc(data.empty() ? 1 : data.size()));
    if (!block)
        return;
    std::memcpy(block, data.data(), data.size());
    Console->hide();
    TransferMode = ToXModem;
    // Nothing goes out until the calculator asks for the first block.
    KHXModemSendFile(&TransferByteSender, block, static_cast<uint32_t>(data.size()));
}

void CSkinWnd::PlaceObject(bool inPort1)
{
    const auto file = ChooseObjectFile();
    if (!file)
        return;
    // A file shorter than its header holds no object.
    const std::optional<std::vector<uint8_t>> body = ObjectBody(file->second);
    if (!body) {
        ObjectRefused(QFile::decodeName(file->first.c_str()),
                      "It is " + std::to_string(file->second.size()) + " bytes long, shorter than the " +
                          std::to_string(ObjectHeaderBytes) + "-byte header of an object.");
        return;
    }
    const auto count = static_cast<uint32_t>(body->size());
    KVStop();
    if (inPort1)
        KHLoadInPort1(ObjectName(file->first).c_str(), body->data(), count);
    else
        KHPushObject(body->data(), count);
    KVRun();
}

void CSkinWnd::LoadObjectOnStack()
{
    PlaceObject(false);
}

void CSkinWnd::LoadObjectInPort1()
{
    PlaceObject(true);
}

} // namespace pelrin
