#include "ui/failure_box.h"

#include <QDir>
#include <QMessageBox>
#include <cstdio>

namespace pelrin {

QMessageBox* SayFailure(QWidget* owner, const QString& heading, const QString& reason)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pelrin"), heading, QMessageBox::Ok, owner);
    box->setInformativeText(reason);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

QString NoteStartFileFailure(const QString& name, const QString& reason)
{
    const QString line = QStringLiteral("%1 in %2: %3").arg(name, QDir::currentPath(), reason);
    std::fprintf(stderr, "pelrin: %s\n", qPrintable(line));
    std::fflush(stderr);
    return QStringLiteral("%1: %2").arg(name, reason);
}

QMessageBox* SayStartFailures(QWidget* owner, const QStringList& failures)
{
    return SayFailure(owner,
                      QStringLiteral("Pelrin reads ROM.E49 and HP49.BMP from its working directory, %1.")
                          .arg(QDir::currentPath()),
                      failures.join('\n'));
}

} // namespace pelrin
