#pragma once
// The directory chooser: Qt's own file dialog (never the desktop's, so that every user sees
// the same German dialog) in directory mode, with its new-folder button. A name typed in that
// does not exist yet is accepted: the user is asked whether it shall be created, and it exists
// when the dialog closes (Qt's own check would refuse it as not found).
#include <QFileDialog>

class QPushButton;

namespace tavik {

struct TDirectoryChooserOptions;

class TDirectoryDialog : public QFileDialog {
    Q_OBJECT

public:
    TDirectoryDialog(QWidget* parent, const TDirectoryChooserOptions& options);

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Qt enables its accept button only for directories that exist.
    void KeepAcceptEnabled();
    // Asks and creates the directory; false when it was not created.
    bool Create(const QString& directory);

    QPushButton* FAcceptButton = nullptr;
    bool FEnabling = false;
};

}  // namespace tavik
