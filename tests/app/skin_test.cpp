#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QTextBrowser>

#include <set>

#include "app/application.h"
#include "app/search_state.h"
#include "app/skin.h"
#include "window_fixture.h"

namespace quillmoss::testing {
namespace {

TEST(BuiltInSkins, AllThirtyThreeAreWellFormed) {
    std::set<std::string> names;
    for (int32_t n = 1; n <= kSkinCount; ++n) {
        SCOPED_TRACE(n);
        const ByteBuffer skin = builtInSkin(n);
        ASSERT_GE(skin.size(), 4);
        EXPECT_EQ(skin.view().substr(0, 4), ".SHE");
        const std::optional<SkinDefinition> definition = parseSkin(skin.view());
        ASSERT_TRUE(definition.has_value());
        EXPECT_FALSE(definition->colors.empty());
        EXPECT_FALSE(definition->styleSheet.empty());
        names.insert(definition->name);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kSkinCount));
    EXPECT_TRUE(builtInSkin(0).empty());
    EXPECT_TRUE(builtInSkin(kSkinCount + 1).empty());
}

TEST(SkinFormat, ParsesEntriesAndRefusesAnythingMalformed) {
    const std::string good =
        ".SHE 1\r\n# comment\r\nname Test skin\r\n\r\ncolor window #D4D0C8\r\n"
        "color disabled:button-text #808080\r\nstyle QPushButton {\r\nstyle   border: 1px solid #000; }\r\n";
    const std::optional<SkinDefinition> skin = parseSkin(good);
    ASSERT_TRUE(skin.has_value());
    EXPECT_EQ(skin->name, "Test skin");
    ASSERT_EQ(skin->colors.size(), 2u);
    EXPECT_EQ(skin->colors[0].role, "window");
    EXPECT_EQ(skin->colors[0].group, "");
    EXPECT_EQ(skin->colors[0].rgb, 0xD4D0C8u);
    EXPECT_EQ(skin->colors[1].group, "disabled");
    EXPECT_EQ(skin->styleSheet, "QPushButton {\nborder: 1px solid #000; }\n");

    const struct {
        const char* why;
        std::string bytes;
    } bad[] = {
        {"no magic", "SHE 1\nname x\n"},
        {"other version", ".SHE 2\nname x\n"},
        {"magic only", ".SHE"},
        {"no name", ".SHE 1\ncolor window #ffffff\n"},
        {"two names", ".SHE 1\nname a\nname b\n"},
        {"unknown entry", ".SHE 1\nname x\nfont Arial\n"},
        {"short colour", ".SHE 1\nname x\ncolor window #fff\n"},
        {"colour without #", ".SHE 1\nname x\ncolor window ffffff\n"},
        {"bad hex digit", ".SHE 1\nname x\ncolor window #ffffgf\n"},
        {"unknown role", ".SHE 1\nname x\ncolor frame #ffffff\n"},
        {"unknown group", ".SHE 1\nname x\ncolor hover:window #ffffff\n"},
        {"colour without value", ".SHE 1\nname x\ncolor window\n"},
        {"style reads a file", ".SHE 1\nname x\nstyle QWidget { background: URL(/tmp/a.png); }\n"},
        {"style imports", ".SHE 1\nname x\nstyle @import \"a.css\";\n"},
        {"unbalanced braces", ".SHE 1\nname x\nstyle QWidget { color: red;\n"},
        {"closing brace first", ".SHE 1\nname x\nstyle } QWidget {\n"},
        {"broken UTF-8", ".SHE 1\nname \xC3\x28\n"},
        {"control byte", ".SHE 1\nname a\x01" "b\n"},
        {"zero byte", std::string(".SHE 1\nname a\0b\n", 15)},
    };
    for (const auto& c : bad) EXPECT_FALSE(parseSkin(c.bytes).has_value()) << c.why;
}

TEST(SkinAttachment, CreationCompleteSetsPageOneAndSkinNineKeepingFixedColours) {
    MainWindow window({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QColor defaultWindow = QApplication::palette().color(QPalette::Window);

    EXPECT_FALSE(attachSkin(0));  // not a skin: the look stays
    EXPECT_FALSE(attachSkin(kSkinCount + 1));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), defaultWindow);
    EXPECT_EQ(attachedSkin(), 0);

    onMainWindowCreated();
    {
        std::lock_guard lock(searchStateMutex());
        EXPECT_EQ(searchState().currentPage, 1);
        EXPECT_EQ(searchState().totalPages, 0);
        EXPECT_TRUE(searchState().pageText.empty());
        EXPECT_TRUE(searchState().resultNames.empty());
    }
    EXPECT_EQ(attachedSkin(), kStartupSkin);
    const std::optional<SkinDefinition> nine = parseSkin(builtInSkin(9).view());
    ASSERT_TRUE(nine.has_value());
    for (const SkinColor& color : nine->colors) {
        if (color.role == "window" && color.group.empty()) {
            EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(QRgb(color.rgb)));
        }
    }
    EXPECT_NE(QApplication::palette().color(QPalette::Window), defaultWindow);
    EXPECT_FALSE(qApp->styleSheet().isEmpty());

    // Whatever the skin, the status box stays pale yellow and the page label blue.
    auto* status = control<QTextBrowser>(window, "简单超文本框1");
    auto* label = control<QLabel>(window, "标签2");
    label->setText(QStringLiteral("1/9"));
    QCoreApplication::processEvents();
    const QImage box = status->grab().toImage();
    EXPECT_EQ(box.pixelColor(box.width() - 20, box.height() - 8), QColor(0xFB, 0xED, 0xBB));
    label->ensurePolished();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 136, 255));
    // The strongest stroke of the caption (least red) is the blue blended
    // with the background by the smoothing of the glyph edges.
    const QImage caption = label->grab().toImage();
    const QColor background = caption.pixelColor(0, 0);
    QColor strongest = background;
    for (int y = 0; y < caption.height(); ++y) {
        for (int x = 0; x < caption.width(); ++x) {
            if (caption.pixelColor(x, y).red() < strongest.red()) strongest = caption.pixelColor(x, y);
        }
    }
    ASSERT_LT(strongest.red(), background.red() / 2) << "no caption drawn";
    const double ink = 1.0 - strongest.red() / static_cast<double>(background.red());
    EXPECT_NEAR(strongest.green(), 136 * ink + background.green() * (1 - ink), 6);
    EXPECT_NEAR(strongest.blue(), 255 * ink + background.blue() * (1 - ink), 6);
}

}  // namespace
}  // namespace quillmoss::testing
