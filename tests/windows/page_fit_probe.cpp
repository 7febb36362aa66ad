// Run under Wine on an X display: opens the wizard as rowlark.exe does (no stored login, so the
// connection page stays), then prints the font the pages asked for and what each text of the
// connection page needs and has. Exits 1 when a text does not fit, or a label runs into its field.
#include "text_fit.h"

#include "pages/form1.h"
#include "pages/wizard.h"
#include "shell/message_boxes.h"
#include "shell/page_controls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontInfo>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    rowlark::shell::setMessageBoxes(std::make_unique<rowlark::shell::UnattendedMessageBoxes>());
    rowlark::pages::Wizard wizard;
    wizard.start();
    QElapsedTimer shown;
    shown.start();
    while (!wizard.form1().isVisible() && shown.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 100);
    auto& f1 = wizard.form1();
    std::printf("font: %s\n", qPrintable(QFontInfo(rowlark::shell::Arial(9, false)).family()));
    int misfits = 0;
    for (const auto& t : rowlark::test::textRooms(f1)) {
        const bool fits = t.need <= t.room;
        misfits += !fits;
        std::printf("%s \"%s\" needs %d of %d\n", fits ? "fits" : "FAIL", qPrintable(t.text),
                    t.need, t.room);
    }
    for (auto [label, field] : {std::pair{f1.Label2, f1.Text1}, std::pair{f1.Label9, f1.Text9},
                                std::pair{f1.Label1, f1.Text2}, std::pair{f1.Label3, f1.Text4}}) {
        const int end = label->x() + QFontMetrics(label->font()).horizontalAdvance(label->text());
        if (end + 2 >= field->x()) {
            ++misfits;
            std::printf("FAIL \"%s\" runs into its field\n", qPrintable(label->text()));
        }
    }
    std::printf("%s\n",
                f1.isVisible() ? "connection page shown" : "FAIL connection page not shown");
    return misfits == 0 && f1.isVisible() ? 0 : 1;
}
