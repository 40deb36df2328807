// The "&State" commands: the whole machine (engine state and the three
// ports, not the ROM) saved to a file and loaded back. Every path past the
// file dialog ends with the engine running.
#include <QFile>

#include "korvane.h"
#include "ui/file_io.h"
#include "ui/file_prompt.h"
#include "ui/skin_wnd.h"
#include "ui/state_file.h"

namespace pelrin {

void CSkinWnd::SaveStateFile()
{
    QString name;
    if (!PromptForFileName(this, name, false))
        return;
    // The old file stays until the new one is whole on the disk.
    ReplacingFile file;
    if (!file.Open(QFile::encodeName(name).toStdString())) {
        KVRun();
        return;
    }
    // The snapshot stops the engine; it runs again as soon as the machine
    // is copied, while the copy goes to the disk.
    const std::vector<uint8_t> state = CaptureState();
    KVRun();
    if (file.Write(state.data(), state.size()))
        file.Commit();
}

void CSkinWnd::LoadStateFile()
{
    QString name;
    if (!PromptForFileName(this, name, true))
        return;
    // Read and checked whole before anything changes: a file that is no
    // state file leaves the machine as it was.
    if (const auto state = ReadStateFile(QFile::encodeName(name).toStdString()))
        RestoreState(state->data(), state->size());
    KVRun();
}

} // namespace pelrin
