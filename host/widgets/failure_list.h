#pragma once
// The failures the error service registered while the windows are open, collected in one
// window that stays open beside the work: the user sees what failed and why without a modal
// box per failure. Each line shows the time, what was being done in the user's words and the
// whole reason, wrapped; the guard's context is the tooltip of the operation, for support.
#include <QDialog>

#include <string>

#include "host/services/tavik_info.h"

class QTableWidget;

namespace tavik {

class TFailureList : public QDialog {
    Q_OBJECT

public:
    explicit TFailureList(QWidget* parent = nullptr);

    // Appends the failure as the newest line, scrolled to and selected, and shows the window
    // without taking the focus from the work; a quiet failure leaves a hidden window hidden.
    void Add(const TFailure& failure);
    int Count() const;
    // Time, operation and reason of one line, as shown.
    QStringList Line(int index) const;
    // The guard's context of one line ("TfrmVendrask.spbSpanClick").
    std::string Context(int index) const;
    QTableWidget& Table() const { return *FList; }

private:
    QTableWidget* FList;
};

}  // namespace tavik
