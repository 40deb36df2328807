// The popup menu's items, in order, with their captions and command ids,
// and the About box it opens.
#include <QPushButton>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "ui/about_dlg.h"
#include "ui/popup_menu.h"

namespace pelrin {
namespace {

struct Item {
    const char* caption; // null: a separator
    uint32_t command;    // 0: a submenu
};

void ExpectItems(const QMenu* menu, std::initializer_list<Item> items)
{
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(items.size())) << menu->title().toStdString();
    int i = 0;
    for (const Item& item : items) {
        const QAction* action = actions[i++];
        SCOPED_TRACE(i);
        if (!item.caption) {
            EXPECT_TRUE(action->isSeparator());
            continue;
        }
        EXPECT_EQ(action->text().toStdString(), item.caption);
        EXPECT_EQ(CommandOf(action), item.command);
        EXPECT_EQ(action->menu() != nullptr, item.command == 0);
        EXPECT_TRUE(action->isEnabled());
        EXPECT_FALSE(action->isCheckable());
    }
}

const QMenu* Submenu(const QMenu* menu, int index)
{
    return menu->actions().at(index)->menu();
}

TEST(PopupMenu, TheItemsCaptionsMnemonicsAndCommandsInOrder)
{
    std::unique_ptr<QMenu> menu(BuildPopupMenu(nullptr));
    ExpectItems(menu.get(), {{"Korvane", 32778},
                             {nullptr, 0},
                             {"&Object", 0},
                             {"&State", 0},
                             {"&Engine", 0},
                             {"&Console", 1005},
                             {"&Minimize", 32785},
                             {"&Quit", 32771}});
    ExpectItems(Submenu(menu.get(), 2), {{"Load with &Kermit", 32782},
                                         {"Load with &XModem", 32783},
                                         {"Load on &Stack", 32776},
                                         {"Load in Port &1", 32784}});
    ExpectItems(Submenu(menu.get(), 3), {{"&Load", 32780}, {"&Save", 32781}});
    ExpectItems(Submenu(menu.get(), 4), {{"&Start", 32772}, {"S&top", 32773}, {"&Reset", 32779}});
}

TEST(PopupMenu, NoActionIsNoCommand)
{
    EXPECT_EQ(CommandOf(nullptr), 0u);
}

TEST(AboutDialog, ShowsTheProgramsNameAndEndsWithOk)
{
    CAboutDlg about;
    bool named = false;
    for (const QLabel* label : about.findChildren<QLabel*>())
        named = named || label->text() == QStringLiteral("Pelrin");
    EXPECT_TRUE(named);
    EXPECT_EQ(about.findChildren<QLabel*>().size(), 2);

    const auto* buttons = about.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_EQ(buttons->buttons().size(), 1);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ASSERT_NE(ok, nullptr);
    // Modal: exec returns only once OK was pressed.
    QTimer::singleShot(0, ok, &QPushButton::click);
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

} // namespace
} // namespace pelrin
