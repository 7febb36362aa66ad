// rowlark: the duplicate-removal wizard.
#include "wizard.h"

#include "shell/guarded_application.h"
#include "shell/qt_message_boxes.h"

int main(int argc, char** argv) {
    rowlark::shell::GuardedApplication app(argc, argv);
    QApplication::setApplicationName("Rowlark");
    rowlark::shell::setMessageBoxes(std::make_unique<rowlark::shell::QtMessageBoxes>());
    rowlark::pages::Wizard wizard;
    wizard.start();
    return QApplication::exec();
}
