// The "&State" commands: the whole machine (engine state and the three
// ports, not the ROM) saved to a file and loaded back. Every path past the
// file dialog ends with the engine running.
#include <QFile>

#include "korvane.h"
#include "ui/failure_box.h"
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
        StateNotSaved(name, file.Failure());
        return;
    }
    // The snapshot stops the engine; it runs again as soon as the machine
    // is copied, while the copy goes to the disk.
    const std::vector<uint8_t> state = CaptureState();
    KVRun();
    if (!file.Write(state.data(), state.size()) || !file.Commit())
        StateNotSaved(name, file.Failure());
}

void CSkinWnd::LoadStateFile()
{
    QString name;
    if (!PromptForFileName(this, name, true))
        return;
    // Read and checked whole before anything changes: a file that is no
    // state file leaves the machine as it was.
    std::string why;
    if (const auto state = ReadStateFile(QFile::encodeName(name).toStdString(), why))
        RestoreState(state->data(), state->size());
    KVRun();
    if (!why.empty())
        SayFailure(this, QStringLiteral("The state was not loaded from \"%1\".").arg(name),
                   QString::fromStdString(why));
}

void CSkinWnd::StateNotSaved(const QString& name, const std::string& why)
{
    // Without the box the person would take the state for saved.
    SayFailure(this, QStringLiteral("The state was not saved to \"%1\".").arg(name), QString::fromStdString(why));
}

} // namespace pelrin
