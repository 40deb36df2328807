#include "ui/file_prompt.h"

#include <QFileDialog>

namespace pelrin {

namespace {

bool AskWithDialog(QWidget* owner, QString& name, bool load)
{
    // "*" and not "*.*": Qt takes a pattern as it stands, and "*.*" would
    // hide every file without a dot in its name.
    const QString filter = QStringLiteral("All Files (*)");
    const QString chosen = load ? QFileDialog::getOpenFileName(owner, QString(), QString(), filter)
                                : QFileDialog::getSaveFileName(owner, QString(), QString(), filter);
    if (chosen.isEmpty())
        return false;
    name = chosen;
    return true;
}

FileNamePrompt Prompt = nullptr;

} // namespace

bool PromptForFileName(QWidget* owner, QString& name, bool load)
{
    return (Prompt ? Prompt : AskWithDialog)(owner, name, load);
}

void SetFileNamePrompt(FileNamePrompt prompt)
{
    Prompt = prompt;
}

} // namespace pelrin
