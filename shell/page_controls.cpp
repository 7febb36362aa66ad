#include "page_controls.h"

#include "db/record_set_model.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace rowlark::shell {

QFont Arial(double points, bool bold) {
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
    setPalette(p);
    setAutoFillBackground(true);
}

void PushButton::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved();
    QPushButton::mouseMoveEvent(event);
}

DataGrid::DataGrid(QWidget* parent) : QTableView(parent) {
    const QFont f = Arial(9, true);
    setFont(f);
    horizontalHeader()->setFont(f);
    verticalHeader()->setFont(f);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 6);
    setMouseTracking(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void DataGrid::setDataSource(std::shared_ptr<db::RecordSet> records) {
    QAbstractItemModel* old = model();
    setModel(records ? new db::RecordSetModel(records, this) : nullptr);
    delete old;
    records_ = std::move(records);
}

void DataGrid::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved();
    QTableView::mouseMoveEvent(event);
}

} // namespace rowlark::shell
