// Failures said to the person: a file that was refused, a state that was
// not saved, a start without the ROM or the skin. The machine stays as it
// was; only the words are new.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace pelrin {

// A short warning box over owner: the heading names what failed and the
// file, the reason follows. It does not wait for the person: it is modal to
// its owner, deletes itself when closed and the call returns at once, so a
// failed command ends as it would without it (and a test finds the box
// among the owner's children, reads it and closes it).
QMessageBox* SayFailure(QWidget* owner, const QString& heading, const QString& reason);

// A file the program reads at start-up from its working directory could
// not be used: one line on standard error at once, naming the file and the
// directory. The words returned are for the box once the window shows.
QString NoteStartFileFailure(const QString& name, const QString& reason);

// The box of the start-up's failures, noted by NoteStartFileFailure.
QMessageBox* SayStartFailures(QWidget* owner, const QStringList& failures);

} // namespace pelrin
