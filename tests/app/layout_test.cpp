#include <QAbstractButton>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeView>

#include "window_fixture.h"

namespace quillmoss::testing {
namespace {

using LayoutTest = WindowTest;

struct Placement {
    const char* name;
    QRect geometry;
    const char* caption;  // nullptr: the control has no caption to compare
};

const Placement kPlacements[] = {
    {"标签1", {6, 6, 72, 24}, "关键字："},
    {"编辑框1", {52, 4, 452, 24}, ""},
    {"按钮1", {506, 3, 84, 28}, "搜索种子"},
    {"超级列表框1", {1, 33, 592, 247}, nullptr},
    {"按钮4", {6, 295, 64, 32}, "第一页"},
    {"标签2", {208, 300, 120, 18}, ""},
    {"标签3", {344, 303, 96, 24}, "右键迅雷下载"},
    {"按钮3", {454, 299, 64, 32}, "上一页"},
    {"按钮2", {526, 298, 64, 32}, "下一页"},
    {"简单超文本框1", {0, 336, 592, 48}, "开始搜索"},
    {"超文本浏览框1", {-100, 232, 16, 16}, nullptr},
    {"按钮6", {546, 428, 128, 25}, "安装好用的金山毒霸"},
};

QString captionOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* browser = qobject_cast<QTextBrowser*>(widget)) return browser->toPlainText();
    return {};
}

TEST_F(LayoutTest, EveryControlStandsAtItsPlaceWithItsCaption) {
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.name);
        QWidget* widget = get<QWidget>(p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), &window());
        EXPECT_EQ(widget->geometry(), p.geometry);
        EXPECT_TRUE(widget->isVisible());  // the hidden browser too: it only lies outside
        if (p.caption != nullptr) {
            EXPECT_EQ(captionOf(widget), qs(p.caption));
        }
    }
    // The browser lies wholly left of the client area, the idle button below it.
    EXPECT_FALSE(window().rect().intersects(get<QWidget>("超文本浏览框1")->geometry()));
    EXPECT_FALSE(window().rect().contains(get<QWidget>("按钮6")->geometry()));
}

TEST_F(LayoutTest, WindowIsFixedWithoutMaximiseAndTitled) {
    EXPECT_EQ(window().size(), QSize(kClientWidth, kClientHeight));
    EXPECT_EQ(window().minimumSize(), window().maximumSize());
    const Qt::WindowFlags flags = window().windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Quillmoss ") + qs(QUILLMOSS_TITLE_ADDRESS) +
                                          QStringLiteral(" ") + qs(QUILLMOSS_TITLE_CONTACT));
}

TEST_F(LayoutTest, FontsResolveToTheInstalledSongTypeface) {
    const struct {
        const char* name;
        int pixelSize;
    } fonts[] = {{"编辑框1", 16}, {"超级列表框1", 14}, {"标签2", 16},
                 {"标签1", 12},   {"按钮1", 12},     {"标签3", 12}};
    for (const auto& f : fonts) {
        SCOPED_TRACE(f.name);
        QWidget* widget = get<QWidget>(f.name);
        EXPECT_EQ(widget->font().family(), qs("宋体"));
        EXPECT_EQ(widget->font().pixelSize(), f.pixelSize);
        // Without the substitution the fallback would be a sans face, or none.
        EXPECT_TRUE(QFontInfo(widget->font()).family().startsWith(QStringLiteral("AR PL UMing")))
            << QFontInfo(widget->font()).family().toStdString();
    }
}

TEST_F(LayoutTest, ResultListIsAPlainTwoColumnReport) {
    auto* list = get<QTreeView>("超级列表框1");
    QHeaderView* header = list->header();
    ASSERT_EQ(list->model()->columnCount(), 2);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), qs("种子名称"));
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), qs("下载地址"));
    EXPECT_EQ(header->sectionSize(0), 340);
    EXPECT_EQ(header->sectionSize(1), 240);
    EXPECT_FALSE(header->isHidden());
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(list->isSortingEnabled());
}

TEST_F(LayoutTest, ResultMenuHoldsFourPlainItemsInOrder) {
    QMenu* menu = window().resultMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), qs("右键菜单"));
    EXPECT_EQ(menu->title(), qs("右键菜单"));
    EXPECT_FALSE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    const char* expected[][2] = {{"迅雷下载", "sendToMagnetHandler"},
                                 {"复制下载地址", "copyLink"},
                                 {"在线云点播", "playOnline"},
                                 {"查看详细内容", "showDetails"}};
    ASSERT_EQ(actions.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actions[i]->text(), qs(expected[i][0]));
        EXPECT_EQ(actions[i]->objectName(), qs(expected[i][1]));
        EXPECT_FALSE(actions[i]->isCheckable());
        EXPECT_TRUE(actions[i]->shortcut().isEmpty());
        EXPECT_TRUE(actions[i]->isEnabled());
    }
}

}  // namespace
}  // namespace quillmoss::testing
