// The pages' push button, grid and message box text, offscreen.
#include "db/field_types.h"
#include "shell/grid_cells.h"
#include "shell/page_controls.h"
#include "shell/qt_message_boxes.h"
#include "support/rendered.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
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

// A question whose safe answer is No: Enter, as a user presses it on the box on screen, answers
// No, and the box carries the question icon.
TEST(PageControls, EnterOnAQuestionThatDefaultsToNoAnswersNo) {
    QtMessageBoxes boxes;
    for (const int buttons : {kYesNo | kQuestion | kDefaultButton2, int(kYesNo)}) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        const int answer = boxes.show("Replace it?", buttons, "Rowlark");
        if (buttons & kDefaultButton2) {
            EXPECT_EQ(answer, kAnswerNo);
            EXPECT_EQ(icon, QMessageBox::Question);
        } else {
            EXPECT_EQ(answer, kAnswerYes) << "without the flag, Yes stays the default";
            EXPECT_EQ(icon, QMessageBox::NoIcon);
        }
    }
}

// Floating-point values by the shortest text that reads back as the same number; the rest as the
// driver gave them.
TEST(PageControls, CellTextShowsFloatsByTheirShortestExactText) {
    EXPECT_EQ(CellText(db::kAdDouble, "9.8066499999999994"), "9.80665");
    EXPECT_EQ(CellText(db::kAdDouble, "0.10000000000000001"), "0.1");
    EXPECT_EQ(CellText(db::kAdDouble, "299792458"), "299792458");
    EXPECT_EQ(CellText(db::kAdDouble, "0.30000000000000004"), "0.30000000000000004")
        << "0.1 + 0.2 is not 0.3, and shows so";
    EXPECT_EQ(CellText(db::kAdSingle, "9.8066502"), "9.80665");
    EXPECT_EQ(CellText(db::kAdDouble, "-1.5e-300"), "-1.5e-300");
    EXPECT_EQ(CellText(db::kAdDouble, ""), "") << "NULL";
    EXPECT_EQ(CellText(db::kAdVarWChar, "9.8066499999999994"), "9.8066499999999994");
    EXPECT_EQ(CellText(db::kAdDbTimeStamp, "2024-06-01 12:00:00.250"), "2024-06-01 12:00:00.250");
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
