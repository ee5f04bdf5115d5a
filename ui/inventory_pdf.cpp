#include "ui/inventory_pdf.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace vendrask {

namespace {

constexpr double kTitlePoints = 12;
constexpr double kTextPoints = 8;
// Hashes in full would need a third of the page's width at the size of the other cells.
constexpr double kHashPoints = 5.5;

// A cell of 40 and more characters without a blank is a hash; it may break anywhere.
bool IsHash(const std::string& text) { return text.size() >= 40 && text.find(' ') == std::string::npos; }

QString Q(const std::string& text) { return QString::fromStdString(text); }

class TTablePages {
public:
    TTablePages(QPdfWriter& writer, QPainter& painter, const std::vector<std::string>& columns,
                const std::vector<std::vector<std::string>>& rows)
        : FWriter(writer), FPainter(painter), FColumns(columns), FMm(writer.resolution() / 25.4) {
        FText.setPointSizeF(kTextPoints);
        FBold = FText;
        FBold.setBold(true);
        FHash.setFamily(QStringLiteral("Monospace"));
        FHash.setStyleHint(QFont::Monospace);
        FHash.setPointSizeF(kHashPoints);
        FHashColumn.assign(columns.size(), false);
        for (const auto& row : rows)
            for (std::size_t c = 0; c < row.size() && c < columns.size(); ++c)
                if (IsHash(row[c])) FHashColumn[c] = true;
        FWidths = ColumnWidths(rows);
    }

    double Height() const { return FWriter.height() - 6 * FMm; }

    void Heading(const std::string& title, const std::vector<std::string>& lines) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            QFont font = i == 0 ? FBold : FText;
            if (i == 0) font.setPointSizeF(kTitlePoints);
            FPainter.setFont(font);
            const QRectF room(0, FY, FWriter.width(), Height() - FY);
            const QRectF used = FPainter.boundingRect(room, Qt::TextWordWrap, Q(lines[i]));
            FPainter.drawText(room, Qt::TextWordWrap, Q(lines[i]));
            FY += used.height() + (i == 0 ? 2 * FMm : 0.5 * FMm);
        }
        FY += 3 * FMm;
        FTitle = title;
        Header();
    }

    void Row(const std::vector<std::string>& cells) {
        const double height = RowHeight(cells, false);
        if (FY + height > Height()) NewPage();
        Cells(cells, false, height);
    }

    // The text on new pages, each line as it stands, wrapped where it is wider than the page.
    void Appendix(const std::string& text) {
        FColumns.clear();
        NewPage();
        FPainter.setFont(FText);
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const QString line = Q(text.substr(start, end - start));
            const QRectF room(0, 0, FWriter.width(), 1e6);
            const double height = FPainter.boundingRect(room, Qt::TextWordWrap, line.isEmpty() ? QStringLiteral(" ") : line).height();
            if (FY + height > Height()) NewPage();
            FPainter.drawText(QRectF(0, FY, FWriter.width(), height), Qt::TextWordWrap, line);
            FY += height;
            start = end + 1;
        }
    }

    void Finish() { Footer(); }

private:
    std::vector<double> ColumnWidths(const std::vector<std::vector<std::string>>& rows) const {
        std::vector<double> weights;
        for (std::size_t c = 0; c < FColumns.size(); ++c) {
            std::size_t longest = FColumns[c].size();
            for (const auto& row : rows)
                if (c < row.size()) longest = std::max(longest, static_cast<std::size_t>(Q(row[c]).size()));
            double weight = static_cast<double>(std::clamp<std::size_t>(longest, 8, 32));
            if (FHashColumn[c]) weight = 32 * kHashPoints / kTextPoints;
            weights.push_back(weight);
        }
        double sum = 0;
        for (const double weight : weights) sum += weight;
        std::vector<double> widths;
        for (const double weight : weights) widths.push_back(FWriter.width() * weight / sum);
        return widths;
    }

    const QFont& FontOf(std::size_t column, bool header) const {
        if (header) return FBold;
        return FHashColumn[column] ? FHash : FText;
    }
    static int Flags(bool hash) { return (hash ? Qt::TextWrapAnywhere : Qt::TextWordWrap) | Qt::AlignLeft | Qt::AlignTop; }

    double RowHeight(const std::vector<std::string>& cells, bool header) const {
        double height = 0;
        for (std::size_t c = 0; c < cells.size() && c < FWidths.size(); ++c) {
            FPainter.setFont(FontOf(c, header));
            const QRectF room(0, 0, FWidths[c] - 2 * Pad(), 1e6);
            height = std::max(height, FPainter.boundingRect(room, Flags(!header && FHashColumn[c]), Q(cells[c])).height());
        }
        return height + 2 * Pad();
    }

    void Cells(const std::vector<std::string>& cells, bool header, double height) {
        if (header) FPainter.fillRect(QRectF(0, FY, FWriter.width(), height), QColor(225, 225, 225));
        double x = 0;
        for (std::size_t c = 0; c < cells.size() && c < FWidths.size(); ++c) {
            FPainter.setFont(FontOf(c, header));
            FPainter.drawText(QRectF(x + Pad(), FY + Pad(), FWidths[c] - 2 * Pad(), height - 2 * Pad()),
                              Flags(!header && FHashColumn[c]), Q(cells[c]));
            x += FWidths[c];
        }
        FY += height;
        FPainter.setPen(QPen(QColor(160, 160, 160), 0.2 * FMm));
        FPainter.drawLine(QPointF(0, FY), QPointF(FWriter.width(), FY));
        FPainter.setPen(Qt::black);
    }

    void Header() {
        if (!FColumns.empty()) Cells(FColumns, true, RowHeight(FColumns, true));
    }

    void NewPage() {
        Footer();
        FWriter.newPage();
        ++FPage;
        FY = 0;
        Header();
    }

    void Footer() {
        FPainter.setFont(FText);
        const QRectF line(0, FWriter.height() - 4 * FMm, FWriter.width(), 4 * FMm);
        FPainter.drawText(line, Qt::AlignLeft | Qt::AlignBottom, Q(FTitle));
        FPainter.drawText(line, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("Seite %1").arg(FPage));
    }

    double Pad() const { return 0.8 * FMm; }

    QPdfWriter& FWriter;
    QPainter& FPainter;
    std::vector<std::string> FColumns;  // empty on the pages of the appendix
    const double FMm;  // device pixels per millimetre
    QFont FText, FBold, FHash;
    std::vector<bool> FHashColumn;
    std::vector<double> FWidths;
    std::string FTitle;
    double FY = 0;
    int FPage = 1;
};

}  // namespace

bool WriteTablePdf(const std::string& fileName, const std::string& title, const std::vector<std::string>& heading,
                   const std::vector<std::string>& columns, const std::vector<std::vector<std::string>>& rows,
                   const std::string& appendix) {
    QPdfWriter writer(Q(fileName));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(Q(title));
    writer.setCreator(QStringLiteral("vendrask"));
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    TTablePages pages(writer, painter, columns, rows);
    pages.Heading(title, heading);
    for (const auto& row : rows) pages.Row(row);
    if (!appendix.empty()) pages.Appendix(appendix);
    pages.Finish();
    if (!painter.end()) return false;
    return QFileInfo(Q(fileName)).size() > 0;
}

}  // namespace vendrask
