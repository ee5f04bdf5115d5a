#pragma once
// The dialog in which the user collects the files and directories that go into an archive.
// The main window shows it modally; after the result OK it reads Files, one full path per row.
#include <QDialog>
#include <QStringList>
#include <memory>

class QListWidget;
class QShowEvent;

namespace tavik {
class TChoosers;
}

namespace vendrask {

class TfrmArchivAdd : public QDialog {
    Q_OBJECT

public:
    enum TModalResult : int { mrNone = 0, mrOK = 1, mrCancel = 2 };

    explicit TfrmArchivAdd(QWidget* parent = nullptr);
    ~TfrmArchivAdd() override;

    // The paths of the last OK, in row order; kept until the next OK.
    const QStringList& Files() const { return FFiles; }
    // 0 none (still open), 1 OK, 2 cancelled.
    int ModalResult() const { return result(); }

    // The file and directory dialogs; the real ones unless set.
    void SetChoosers(std::shared_ptr<tavik::TChoosers> choosers);

    void spbCancelClick();
    void spbOKClick();
    void spbAddFolderClick();
    void spbAddFileClick();
    void spbDeleteClick();

    // Closing by the window's frame counts as cancelling.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void AppendRow(const QString& path);
    tavik::TChoosers& Choosers();

    QListWidget* vstDateien = nullptr;
    QStringList FFiles;
    std::shared_ptr<tavik::TChoosers> FChoosers;
};

}  // namespace vendrask
