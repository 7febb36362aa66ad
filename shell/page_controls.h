// The pages' push button and grid.
#pragma once

#include "db/record_set.h"

#include <QPushButton>
#include <QTableView>

#include <memory>

namespace rowlark::shell {

class GridCells;

// The pages' typeface at the given size.
QFont Arial(double points, bool bold);

// Arial 11.25 pt bold, the system's button-text colour on white; reports mouse moves for the
// hover rule.
class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(const QString& caption, QWidget* parent = nullptr);
    void setBackColor(const QColor& color);

signals:
    void mouseMoved();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// Arial 9 pt bold, empty until a record set is bound; binding another (or none) lets the old one
// go. Values show as GridCells shows them, each column as wide as its values allow.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    void setDataSource(std::shared_ptr<db::RecordSet> records);
    const std::shared_ptr<db::RecordSet>& dataSource() const { return records_; }

signals:
    void mouseMoved();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<db::RecordSet> records_;
    GridCells* cells_ = nullptr;
};

} // namespace rowlark::shell
