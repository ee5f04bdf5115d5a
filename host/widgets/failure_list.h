#pragma once
// The failures the error service registered while the windows are open, collected in one
// window that stays open beside the work: the user sees what failed and why without a modal
// box per failure.
#include <QDialog>

#include "host/services/tavik_info.h"

class QTreeWidget;

namespace tavik {

class TFailureList : public QDialog {
    Q_OBJECT

public:
    explicit TFailureList(QWidget* parent = nullptr);

    // Appends the failure and shows the window without taking the focus from the work.
    void Add(const TFailure& failure);
    int Count() const;
    // Time, place and message of one line.
    QStringList Line(int index) const;

private:
    QTreeWidget* FList;
};

}  // namespace tavik
