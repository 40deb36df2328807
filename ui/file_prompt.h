// The file dialog of the loading and state commands. Tests answer it
// through SetFileNamePrompt instead of a person.
#pragma once

#include <QString>

class QWidget;

namespace pelrin {

// Asks for a file: for loading one that exists, for saving any name, with a
// question before an existing file is overwritten. true, with name the full
// path, when a file was chosen; false, name unchanged, otherwise.
bool PromptForFileName(QWidget* owner, QString& name, bool load);

using FileNamePrompt = bool (*)(QWidget* owner, QString& name, bool load);
// Replaces the dialog; null restores it.
void SetFileNamePrompt(FileNamePrompt prompt);

} // namespace pelrin
