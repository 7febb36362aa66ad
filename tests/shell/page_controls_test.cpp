// The pages' push button, grid and message box text, offscreen.
#include "shell/page_controls.h"
#include "shell/qt_message_boxes.h"
#include "support/rendered.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace rowlark;
using namespace rowlark::shell;

TEST(PageControls, PushButtonFontAndColours) {
    PushButton b("Next >");
    EXPECT_EQ(b.font().family(), "Arial");
    EXPECT_DOUBLE_EQ(b.font().pointSizeF(), 11.25);
    EXPECT_TRUE(b.font().bold());
    b.resize(200, 27);
    EXPECT_TRUE(test::looksLike(test::shownColour(b), QColor(Qt::white)));
    EXPECT_TRUE(b.hasMouseTracking());
}

// The text of a disabled button is drawn in the disabled colour, not the enabled one.
TEST(PageControls, ADisabledPushButtonLooksDisabled) {
    PushButton b("Finish");
    b.resize(200, 27);
    b.setBackColor(QColor(0xf0, 0xf0, 0xf0));
    const QImage enabled = b.grab().toImage();
    b.setEnabled(false);
    const QImage disabled = b.grab().toImage();
    EXPECT_NE(enabled, disabled);
}

TEST(PageControls, GridIsEmptyUntilBoundAndLetsTheOldRecordSetGo) {
    DataGrid grid;
    EXPECT_EQ(grid.model(), nullptr);
    EXPECT_EQ(grid.font().pointSizeF(), 9);
    auto first = std::make_shared<db::RecordSet>();
    std::weak_ptr<db::RecordSet> watch = first;
    grid.setDataSource(std::move(first));
    EXPECT_NE(grid.model(), nullptr);
    grid.setDataSource(std::make_shared<db::RecordSet>());
    EXPECT_TRUE(watch.expired()) << "rebinding lets the earlier record set go";
    grid.setDataSource(nullptr);
    EXPECT_EQ(grid.model(), nullptr);
}

TEST(PageControls, MessageTextLineBreaks) {
    EXPECT_EQ(displayText("a\r\nb\r\rc"), "a\nb\n\nc");
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
