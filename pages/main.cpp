// rowlark: the duplicate-removal wizard.
#include "wizard.h"

#include "shell/qt_message_boxes.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Rowlark");
    rowlark::shell::setMessageBoxes(std::make_unique<rowlark::shell::QtMessageBoxes>());
    rowlark::pages::Wizard wizard;
    wizard.start();
    return QApplication::exec();
}
