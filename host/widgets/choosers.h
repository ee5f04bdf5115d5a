#pragma once
// Every file dialog, directory chooser and modal dialog of the windows goes through this
// interface, so that tests can answer them without a person. The windows hold one; the
// default shows the real Qt dialogs.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace tavik {

// Every directory chooser lets the user make a new directory: with its new-folder button, or
// by typing a path that does not exist yet, which is created after a question.
struct TDirectoryChooserOptions {
    QString Caption;   // window title
    QString StartDir;  // preselected directory; empty: none
};

class TChoosers {
public:
    virtual ~TChoosers() = default;
    // One existing or new file name; nullopt when the user cancels.
    virtual std::optional<QString> OpenFile(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& initialDir) = 0;
    // One or more existing files, in the order the dialog gives them; nullopt on cancel.
    virtual std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title) = 0;
    virtual std::optional<QString> SelectDirectory(QWidget* parent, const TDirectoryChooserOptions& options) = 0;
    // Shows a dialog modally and returns its result (1 OK, 2 cancelled).
    virtual int ExecModal(QDialog& dialog) = 0;
};

// The real dialogs.
std::shared_ptr<TChoosers> NewQtChoosers();

}  // namespace tavik
