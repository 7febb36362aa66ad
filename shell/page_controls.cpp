#include "page_controls.h"

#include "grid_cells.h"
#include "message_boxes.h"

#include "db/record_set_model.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace rowlark::shell {

QFont Arial(double points, bool bold) {
    // Where Arial is missing (Wine, a Linux desktop without fontconfig's alias), the fonts made to
    // its metrics keep the pages' text inside its boxes; Qt asks for them only then.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        return true;
    }();
    (void)substituted;
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

PushButton::PushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setFont(Arial(11.25, true));
    setMouseTracking(true);
    setBackColor(Qt::white);
}

void PushButton::setBackColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Button, color);
    p.setColor(QPalette::ButtonText, QPalette().color(QPalette::ButtonText));
    // A disabled button shows it: its text greyed, whatever the back colour.
    p.setColor(QPalette::Disabled, QPalette::ButtonText,
               QPalette().color(QPalette::Disabled, QPalette::ButtonText));
    setPalette(p);
    setAutoFillBackground(true);
}

void PushButton::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved();
    QPushButton::mouseMoveEvent(event);
    // The move is the button's: were it passed on, the page behind would set its own pointer.
    event->accept();
}

DataGrid::DataGrid(QWidget* parent) : QTableView(parent) {
    const QFont f = Arial(9, true);
    setFont(f);
    horizontalHeader()->setFont(f);
    verticalHeader()->setFont(f);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 6);
    setMouseTracking(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    cells_ = new GridCells(
        [this](int column) {
            return records_ && column >= 0 &&
                           static_cast<std::size_t>(column) < records_->fields().size()
                       ? records_->fields()[static_cast<std::size_t>(column)].type
                       : 0;
        },
        this);
    setItemDelegate(cells_);
}

void DataGrid::setDataSource(std::shared_ptr<db::RecordSet> records) {
    QAbstractItemModel* old = model();
    auto* rows = records ? new db::RecordSetModel(records, this) : nullptr;
    records_ = std::move(records);
    setModel(rows);
    delete old;
    if (!rows) return;
    // No column wider than two thirds of the grid: the others stay in sight beside it.
    SizeColumnsToValues(*this, *cells_, width() * 2 / 3);
    // A grid whose rows can no longer be read keeps what it shows and says so once.
    auto report = [](const QString& description) {
        MsgBox("The grid could not read more rows; it keeps those it shows.\n" + description,
               kExclamation);
    };
    connect(rows, &db::RecordSetModel::readError, this, report, Qt::QueuedConnection);
    if (rows->readFailed()) report(rows->readFailure());
}

void DataGrid::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved();
    QTableView::mouseMoveEvent(event);
}

} // namespace rowlark::shell
