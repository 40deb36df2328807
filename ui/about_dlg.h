// The About box, opened by the menu's first item.
#pragma once

#include <QDialog>

namespace pelrin {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace pelrin
