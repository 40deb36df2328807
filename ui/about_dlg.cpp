#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace pelrin {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Pelrin"));
    auto* layout = new QVBoxLayout(this);
    // The application's icon, which every window of the program carries.
    auto* icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(64, 64));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto* name = new QLabel(QStringLiteral("Pelrin"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("An emulator of the HP 49G calculator and its Saturn processor."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace pelrin
