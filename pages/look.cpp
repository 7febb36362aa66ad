#include "look.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

#include <stdexcept>

// The icons live in a static library: their resource is registered by hand before first use.
static void registerIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace rowlark::pages {
namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

void setBackground(QWidget& w, const QColor& c) {
    QPalette p = w.palette();
    p.setColor(QPalette::Window, c);
    if (qobject_cast<QCheckBox*>(&w) || qobject_cast<QRadioButton*>(&w))
        p.setColor(QPalette::Button, c);
    w.setPalette(p);
    w.setAutoFillBackground(true);
}

// Frames, labels, check boxes and option buttons: the controls whose colour follows the page.
template <class F> void eachColouredControl(QWidget& page, F&& f) {
    for (QWidget* w : page.findChildren<QWidget*>())
        if (qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w) ||
            qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))
            f(*w);
}

} // namespace

QString programFolder() {
    return folderOverride().isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride();
}

void setProgramFolder(const QString& folder) {
    folderOverride() = folder;
}

bool FileExists(const QString& path) {
    try {
        return QFileInfo(path).lastModified().isValid();
    } catch (...) {
        return false;
    }
}

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

void paintWhite(QWidget& page) {
    setBackground(page, Qt::white);
    eachColouredControl(page, [](QWidget& w) { setBackground(w, Qt::white); });
}

void ApplyPageColours(QWidget& page) {
    setBackground(page, buttonFace());
    eachColouredControl(page, [](QWidget& w) { setBackground(w, buttonFace()); });
}

void SkinFramework::LoadSkin(const QString& path, const QString&) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("The skin file " + path.toStdString() +
                                 " could not be read: " + f.errorString().toStdString());
    sheet_ = QString::fromUtf8(f.readAll());
}

void SkinFramework::ApplyWindow(QWidget& window) {
    if (applyOptions_) window.setStyleSheet(sheet_);
}

void ApplySkin(QWidget& page, SkinFramework& skin) {
    const QString path = programFolder() + "/x/o.cjs";
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || info.isHidden()) return;
    // The colours change before the skin loads, so a skin that fails still leaves system colours.
    ApplyPageColours(page);
    skin.LoadSkin(path, "");
    skin.setOptions(skin.options() | 1);
    skin.setApplyOptions(true);
    skin.setAutoApplyNewWindows(true);
    skin.ApplyWindow(page);
}

QIcon programIcon() {
    static const bool registered = (registerIcons(), true);
    (void)registered;
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QString(":/rowlark/icons/rowlark-%1.png").arg(size), QSize(size, size));
    return icon;
}

QCursor loadHandCursor(const QString& path) {
    QPixmap picture(path);
    if (picture.isNull()) throw std::runtime_error("Invalid picture: " + path.toStdString());
    // A cursor file names its hot spot in its first directory entry; the picture alone loses it.
    int x = 0, y = 0;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(14);
        auto u16 = [&](int at) { return int(quint8(head[at])) | (int(quint8(head[at + 1])) << 8); };
        if (head.size() == 14 && u16(2) == 2) x = u16(10), y = u16(12);
    }
    return QCursor(picture, x, y);
}

} // namespace rowlark::pages
