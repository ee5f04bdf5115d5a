// Long paths on the workbench and in the span dialog: the middle is left out, the file name at
// the end stays, and the tooltip shows the whole path.
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "host/widgets/path_label.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

using namespace tavik;

// A path far wider than any window: twenty folders, then the file name.
QString LongPath(const QString& root, const QString& name) {
    QString path = root;
    for (int i = 0; i < 20; ++i) path += QStringLiteral("/Abteilung-Buchhaltung-%1").arg(i);
    return path + QLatin1Char('/') + name;
}

QString ToolTipOf(QLabel& label) {
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), label.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&label, &event);
    return label.toolTip();
}

void ExpectElidedInTheMiddle(QLabel& shown, const QString& path, const QString& end) {
    auto* label = qobject_cast<TPathLabel*>(&shown);
    ASSERT_NE(label, nullptr) << shown.objectName().toStdString();
    EXPECT_EQ(label->text(), path);
    const QString displayed = label->DisplayedText();
    EXPECT_NE(displayed, path);
    EXPECT_TRUE(displayed.contains(QChar(0x2026))) << displayed.toStdString();
    EXPECT_TRUE(displayed.endsWith(end)) << displayed.toStdString();
    EXPECT_TRUE(displayed.startsWith(path.left(8))) << displayed.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(displayed), label->contentsRect().width());
    EXPECT_GT(label->fontMetrics().horizontalAdvance(displayed), label->contentsRect().width() / 2);
    EXPECT_EQ(ToolTipOf(*label), path);
}

class PathLabels : public WorkbenchTest {};

TEST_F(PathLabels, TheArchiveNameKeepsItsFileNameAtTheWindowsDefaultSize) {
    Open();
    const QString archive = LongPath(QString::fromStdString(scratch.str()), QStringLiteral("SK261208-Monatsabschluss.zip"));
    ChooseArchive(archive.toStdString());
    ASSERT_TRUE(log.notices.empty());
    QApplication::processEvents();
    ExpectElidedInTheMiddle(*window->lblArchDateiName, archive, QStringLiteral("SK261208-Monatsabschluss.zip"));
    // The window did not grow with the path.
    EXPECT_LE(window->width(), 800);

    // A short one is shown whole.
    const std::string shortName = Scratch("kurz.zip");
    ChooseArchive(shortName);
    auto* label = qobject_cast<TPathLabel*>(window->lblArchDateiName);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->DisplayedText().toStdString(), shortName);
}

TEST_F(PathLabels, TheSpanDialogsTargetKeepsItsLastFolder) {
    Open();
    const QString target = LongPath(QString::fromStdString(scratch.str()), QStringLiteral("Teilarchive-Dezember"));
    spanDialog->SetTargetDir(target);
    spanDialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(spanDialog));
    auto* shown = spanDialog->findChild<QLabel*>(QStringLiteral("lblTarget"));
    ASSERT_NE(shown, nullptr);
    ExpectElidedInTheMiddle(*shown, target, QStringLiteral("Teilarchive-Dezember"));
    spanDialog->hide();
}

}  // namespace
}  // namespace uitest
