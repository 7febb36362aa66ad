// The look the page layouts leave open: colours, the connection page's skin, the icon, the
// hand cursor, and the program folder the optional files are looked for in.
#pragma once

#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QString>

#include <optional>

class QWidget;

namespace rowlark::pages {

// The folder of the executable; tests may point it elsewhere.
QString programFolder();
void setProgramFolder(const QString& folder);

// Whether the path's modification time can be read: the file or folder exists. Never throws.
bool FileExists(const QString& path);

// The system's button-face colour, which the pages take instead of white.
QColor buttonFace();
// White page, frames, labels and check boxes, as the pages are laid out.
void paintWhite(QWidget& page);
// Gives the page and its frames, labels, check boxes and option buttons the button-face colour.
void ApplyPageColours(QWidget& page);

// The skin component of the connection page: a Qt style sheet file.
class SkinFramework {
public:
    // Reads the skin; throws when the file cannot be read.
    void LoadSkin(const QString& path, const QString& ini);
    int options() const { return options_; }
    void setOptions(int options) { options_ = options; }
    void setApplyOptions(bool on) { applyOptions_ = on; }
    void setAutoApplyNewWindows(bool on) { autoApply_ = on; }
    void ApplyWindow(QWidget& window);

private:
    QString sheet_;
    int options_ = 0;
    bool applyOptions_ = false;
    bool autoApply_ = false;
};

// The skin path: program folder + "/x/o.cjs". When that is an ordinary, visible file, the page
// takes the button-face colour and the skin is loaded onto it. Throws when the skin fails.
void ApplySkin(QWidget& connectionPage, SkinFramework& skin);

// The program icon: 32, 48, 128 and 256 pixels.
QIcon programIcon();

// The hand cursor from program folder + "/HAND-M.CUR" (the caller asks FileExists first).
// Throws when the file is not a cursor picture.
QCursor loadHandCursor(const QString& path);

} // namespace rowlark::pages
