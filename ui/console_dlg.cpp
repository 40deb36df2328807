#include "ui/console_dlg.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "tessock.h"

namespace pelrin {

namespace {

// How long a typed character may wait for the link.
constexpr uint32_t TypedByteTimeoutMs = 200;

// The serial port carries bytes: a character beyond Latin-1 goes as '?'.
uint8_t LinkByteOf(QChar c)
{
    return c.unicode() <= 0xFF ? static_cast<uint8_t>(c.unicode()) : static_cast<uint8_t>('?');
}

bool IsEnter(const QKeyEvent* key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           !(key->modifiers() & ~Qt::KeypadModifier);
}

} // namespace

CConsoleDlg::CConsoleDlg(QWidget* parent)
    : QDialog(parent), CloseButton(new QPushButton(QStringLiteral("&Close"), this)),
      InputEdit(new QLineEdit(this)), ReceivedText(new QPlainTextEdit(this))
{
    setWindowTitle(QStringLiteral("Console"));
    QFont courier(QStringLiteral("Courier"), 10);
    courier.setStyleHint(QFont::TypeWriter);
    setFont(courier);

    // The layout in dialog units: a quarter of the font's average character
    // width across, an eighth of its height down.
    const QFontMetrics metrics(courier);
    const auto unitsX = [&](int du) { return du * metrics.averageCharWidth() / 4; };
    const auto unitsY = [&](int du) { return du * metrics.height() / 8; };
    const auto place = [&](QWidget* widget, int x, int y, int width, int height) {
        widget->setGeometry(unitsX(x), unitsY(y), unitsX(width), unitsY(height));
    };
    setFixedSize(unitsX(214), unitsY(157));
    place(CloseButton, 157, 136, 50, 14);
    place(InputEdit, 7, 120, 200, 14);
    place(ReceivedText, 7, 7, 200, 112);
    setTabOrder(CloseButton, InputEdit);
    setTabOrder(InputEdit, ReceivedText);

    // Enter ends the dialog as its OK would, not through the button.
    CloseButton->setAutoDefault(false);
    CloseButton->setDefault(false);
    ReceivedText->setUndoRedoEnabled(false);
    ReceivedText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ReceivedText->installEventFilter(this);

    connect(CloseButton, &QPushButton::clicked, this, &CConsoleDlg::OnCloseButton);
    connect(InputEdit, &QLineEdit::textChanged, this, &CConsoleDlg::OnInputChanged);
    FlushTimer.setSingleShot(true);
    connect(&FlushTimer, &QTimer::timeout, this, &CConsoleDlg::FlushReceivedText);
}

void CConsoleDlg::PostReceivedByte(uint8_t byte)
{
    // By name: the call and its argument are made and delivered entirely
    // inside Qt's queue, so nothing of ours crosses between the threads.
    QMetaObject::invokeMethod(this, "OnReceivedByte", Qt::QueuedConnection, Q_ARG(uint, byte));
}

void CConsoleDlg::OnReceivedByte(uint byte)
{
    Received.Add(static_cast<uint8_t>(byte));
    if (!Received.Empty() && !FlushTimer.isActive())
        FlushTimer.start(std::chrono::duration_cast<std::chrono::milliseconds>(NextFlushDelay));
}

void CConsoleDlg::FlushReceivedText()
{
    FlushTimer.stop();
    if (Received.Empty())
        return;
    QElapsedTimer cost;
    cost.start();
    // Appended after whatever the box shows, the user's own edits included,
    // without moving the user's caret or selection. A view at the end stays
    // at the end.
    QScrollBar* bar = ReceivedText->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    QTextCursor end(ReceivedText->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromLatin1(Received.Take()));
    if (following)
        bar->setValue(bar->maximum());
    NextFlushDelay = FlushDelay(std::chrono::nanoseconds(cost.nsecsElapsed()));
}

void CConsoleDlg::OnCloseButton()
{
    close();
}

void CConsoleDlg::OnInputChanged()
{
    if (InInputChange)
        return;
    InInputChange = true;
    for (;;) {
        const bool selected = InputEdit->hasSelectedText();
        const int start = selected ? InputEdit->selectionStart() : InputEdit->cursorPosition();
        const int end = selected ? InputEdit->selectionEnd() : start;
        const QString text = InputEdit->text();
        if (start <= 0 || start > text.size())
            break;
        if (KHSerialSendByte(LinkByteOf(text.at(start - 1)), TypedByteTimeoutMs))
            break;
        // Not sent: the character goes, and the one before it is tried.
        InputEdit->setSelection(start - 1, end - start + 1);
        InputEdit->del();
    }
    InInputChange = false;
}

bool CConsoleDlg::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the received text ends the dialog too, as in any of its
    // controls, instead of starting a new line there.
    if (watched == ReceivedText && event->type() == QEvent::KeyPress && IsEnter(static_cast<QKeyEvent*>(event))) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CConsoleDlg::keyPressEvent(QKeyEvent* event)
{
    if (IsEnter(event)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace pelrin
