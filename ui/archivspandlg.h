#pragma once
// The dialog in which the user chooses where the volumes of a split archive go and how large
// each volume may be. The main window presets TargetDir and Size, shows it modally and after
// the result OK reads both.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

#include "host/engine/split/split_volumes.h"

class QLabel;
class QRadioButton;
class QShowEvent;

namespace tavik {
class TChoosers;
}

namespace vendrask {

class TMegabyteEdit;

class TfrmArchivSpan : public QDialog {
    Q_OBJECT

public:
    enum TModalResult : int { mrNone = 0, mrOK = 1, mrCancel = 2 };
    static constexpr std::int64_t kAutomaticSize = -1;
    static constexpr std::int64_t kBytesPerMegabyte = 1000000;
    // The smallest volume the engine writes (64 KiB); the edit offers 0,07 MB as the least above it.
    static constexpr std::int64_t kSmallestSize = tavik::kSmallestVolumeSize;
    static double SmallestMegabytes();

    explicit TfrmArchivSpan(QWidget* parent = nullptr);
    ~TfrmArchivSpan() override;

    // The directory that receives the volumes.
    const QString& TargetDir() const { return FTargetDir; }
    void SetTargetDir(const QString& directory) { FTargetDir = directory; }
    // The volume size in bytes; -1 automatic. OK gives -1 or 0,07 to 2000 MB of 1000000 bytes.
    std::int64_t Size() const { return FSize; }
    void SetSize(std::int64_t size) { FSize = size; }
    // 0 none (still open), 1 OK, 2 cancelled.
    int ModalResult() const { return result(); }

    // The directory chooser; the real one unless set.
    void SetChoosers(std::shared_ptr<tavik::TChoosers> choosers);

    void rbtUserdefinedClick();
    void spbTargetClick();
    void spbOKClick();
    void spbAbbrechenClick();

    // Closing by the window's frame counts as cancelling.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    tavik::TChoosers& Choosers();

    QLabel* lblTarget = nullptr;
    QRadioButton* rbtAuto = nullptr;
    QRadioButton* rbtUserdefined = nullptr;
    TMegabyteEdit* edtUserdefined = nullptr;
    QString FTargetDir;
    std::int64_t FSize = kAutomaticSize;
    std::shared_ptr<tavik::TChoosers> FChoosers;
};

}  // namespace vendrask
