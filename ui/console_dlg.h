// The console: a modeless dialog that shows what the calculator sends over
// its serial port and sends every character typed into its input line.
// Created hidden; "&Console" shows it, "&Close", Escape and Enter hide it,
// and bytes keep arriving into it, shown or not, while TransferMode is 0.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdint>

#include "ui/console_text.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pelrin {

class CConsoleDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConsoleDlg(QWidget* parent = nullptr);

    // Posts (never sends) the received byte to the dialog as a queued call;
    // callable from any thread. The dialog appends the byte when the GUI
    // thread gets to it, in the order the bytes were posted.
    void PostReceivedByte(uint8_t byte);

    // The "&Close" button: closing the dialog hides it.
    void OnCloseButton();
    // Every change of the input line: the character before the caret goes
    // to the calculator; one the link does not take within 200 ms is
    // removed, and the one then before the caret is tried again.
    void OnInputChanged();

    // Takes what has arrived into the received text at once, rather than
    // when the gathering wait ends.
    void FlushReceivedText();

    QPushButton* CloseButton;    // control 1004
    QLineEdit* InputEdit;        // control 1006, the input line
    QPlainTextEdit* ReceivedText; // control 1005, editable

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    // The posted byte, on the GUI thread.
    void OnReceivedByte(uint byte);

private:

    ReceivedTextBuffer Received;
    QTimer FlushTimer;
    std::chrono::nanoseconds NextFlushDelay = ShortestFlushDelay;
    // Set while OnInputChanged removes a character itself: that removal is
    // a change too, and the loop there deals with it.
    bool InInputChange = false;
};

} // namespace pelrin
