// The failure list: time, the operation in the user's words and the whole reason, readable at
// the window's default size; the guard's context stays at hand for support.
#include <QApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "host/services/date_time.h"
#include "host/widgets/failure_list.h"
#include "host/widgets/operation_names.h"
#include "tests/support/temp_dir.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

std::string LongReason() {
    QString reason = QStringLiteral(
        "„/srv/olvex/STATEMP/SK261208.001“ wurde nicht aufgeteilt. Im Zielverzeichnis ist nicht genug Platz für den "
        "nächsten Teil; bitte Platz schaffen oder ein anderes Ziel wählen und erneut aufteilen.");
    while (reason.size() < 200) reason += QStringLiteral(" Bitte erneut versuchen.");
    return reason.toStdString();
}

TEST(FailureList, AtTheDefaultSizeNothingIsCutAndTheReasonIsWrapped) {
    TFailureList list;
    const std::string reason = LongReason();
    ASSERT_GE(QString::fromStdString(reason).size(), 200);
    list.Add({Now(), "TfrmVendrask.spbSpanClick", reason});
    list.Add({Now(), "TdmOlvexArchiv.ArchDeleteFiles", "„stadata/m01/beleg0001.dat“ ist schreibgeschützt."});
    std::string deep = "/srv";
    for (int i = 0; i < 12; ++i) deep += "/AbteilungBuchhaltung" + std::to_string(i);
    const std::string pathReason = "Die Einträge wurden nicht nach „" + deep + "“ entpackt.";
    list.Add({Now(), "TfrmVendrask.spbDecompressAllClick", pathReason});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QApplication::processEvents();

    const QTableWidget& table = list.Table();
    const QFontMetrics metrics(table.font());
    const int margin = 2 * (table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1);
    for (int row = 0; row < list.Count(); ++row) {
        for (int column = 0; column < 3; ++column) {
            const QModelIndex index = table.model()->index(row, column);
            const QRect cell = table.visualRect(index);
            const QString text = index.data().toString();
            EXPECT_LE(cell.right(), table.viewport()->width()) << row << "/" << column;
            if (column < 2) {
                EXPECT_LE(metrics.horizontalAdvance(text) + margin, cell.width()) << text.toStdString();
            } else {
                const QRect needed =
                    metrics.boundingRect(QRect(0, 0, cell.width() - margin, 100000), Qt::TextWordWrap, text);
                EXPECT_LE(needed.height(), cell.height()) << text.toStdString();
                EXPECT_LE(needed.width(), cell.width() - margin) << text.toStdString();
            }
        }
    }
    // The long reason takes several lines instead of being cut.
    EXPECT_GE(table.rowHeight(0), 3 * metrics.lineSpacing());
    EXPECT_LT(table.rowHeight(1), 2 * metrics.lineSpacing() + margin);
    // The path wraps between its folders; the line keeps the reason as it was given.
    EXPECT_GE(table.rowHeight(2), 2 * metrics.lineSpacing());
    EXPECT_EQ(list.Line(2)[2].toStdString(), pathReason);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                    .match(list.Line(0)[0])
                    .hasMatch())
        << list.Line(0)[0].toStdString();

    // Narrower, the reason wraps into more lines and still fits.
    const int before = table.rowHeight(0);
    list.resize(list.width() - 200, list.height());
    QApplication::processEvents();
    EXPECT_GT(table.rowHeight(0), before);
}

TEST(FailureList, TheNewestLineIsInViewAndSelected) {
    TFailureList list;
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QTableWidget& table = list.Table();
    for (int i = 0; i < 30; ++i) {
        list.Add({Now(), "TfrmVendrask.spbSpanClick", std::to_string(i) + ": " + LongReason()});
        // However many events the window handles meanwhile, the newest line is what it shows.
        for (int pass = 0; pass < 3; ++pass) QApplication::processEvents();
        const int newest = list.Count() - 1;
        const QRect cell = table.visualRect(table.model()->index(newest, 2));
        EXPECT_TRUE(table.viewport()->rect().contains(cell.bottomLeft())) << "line " << newest;
        EXPECT_EQ(table.currentRow(), newest);
        const QModelIndexList selected = table.selectionModel()->selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.front().row(), newest);
    }
    EXPECT_FALSE(table.viewport()->rect().intersects(table.visualRect(table.model()->index(0, 2))));
}

TEST(FailureList, AQuietFailureIsKeptWithoutShowingTheWindow) {
    TFailureList list;
    list.Add({Now(), "TfrmVendrask.spbSucheClick", "„SK260101.001“ ist kein Archiv.", true});
    EXPECT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.isVisible());
    list.Add({Now(), "TfrmVendrask.spbSpanClick", "kaputt"});
    EXPECT_TRUE(list.isVisible());
    EXPECT_EQ(list.Count(), 2);
}

TEST(FailureList, TheOperationIsNamedInGermanAndTheContextStaysForSupport) {
    TFailureList list;
    list.Add({Now(), "TfrmVendrask.spbSpanClick", "kaputt"});
    list.Add({Now(), "TdmOlvexArchiv.ArchExecute", "voll"});
    list.Add({Now(), "TUnbekannt.Irgendwas", "seltsam"});
    EXPECT_EQ(list.Line(0)[1], QStringLiteral("Archivdatei aufteilen"));
    EXPECT_EQ(list.Line(0)[2], QStringLiteral("kaputt"));
    EXPECT_EQ(list.Line(1)[1], QStringLiteral("Dateien archivieren"));
    EXPECT_EQ(list.Context(0), "TfrmVendrask.spbSpanClick");
    EXPECT_EQ(list.Table().item(0, 1)->toolTip(), QStringLiteral("TfrmVendrask.spbSpanClick"));
    // A context without a name is shown as it is rather than hidden.
    EXPECT_EQ(list.Line(2)[1], QStringLiteral("TUnbekannt.Irgendwas"));
}

// Every context string the program hands to the error service, read from its sources.
std::set<std::string> RegisteredContexts() {
    const fs::path root = fs::path(testsupport::TestDataDir()).parent_path().parent_path();
    const std::regex call(R"re((?:Guarded|RegisterException|RegisterFailure|ReportFailure|FehlerTerminate|FehlerRaise)\(\s*"([^"]+)")re");
    const std::regex constant(R"re((?:context|kContext)\s*=\s*"([^"]+)")re");
    std::set<std::string> contexts;
    for (const char* folder : {"app", "task", "host", "ui"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string extension = entry.path().extension().string();
            if (extension != ".cpp" && extension != ".h") continue;
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            const std::string source = text.str();
            for (const std::regex* pattern : {&call, &constant})
                for (std::sregex_iterator it(source.begin(), source.end(), *pattern), end; it != end; ++it)
                    contexts.insert((*it)[1].str());
        }
    }
    return contexts;
}

TEST(FailureList, EveryContextTheProgramRegistersHasAGermanName) {
    const std::set<std::string> contexts = RegisteredContexts();
    ASSERT_GT(contexts.size(), 50u);
    EXPECT_TRUE(contexts.count("TfrmVendrask.spbSpanClick"));
    EXPECT_TRUE(contexts.count("TDirExplorer.Execute"));
    for (const std::string& context : contexts) {
        EXPECT_TRUE(HasOperationName(context)) << context;
        EXPECT_NE(OperationName(context).toStdString(), context);
    }
}

}  // namespace
}  // namespace uitest
