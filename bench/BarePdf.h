// The report's texts, lines and bars drawn with a bare QPdfWriter and QPainter, without layout logic:
// every text at a point, every line and bar by itself, a new page when the next piece would not fit.
// The baseline of the PDF benchmark: what Qt's PDF writer needs for the same content.
#pragma once

#include "results/ReportDocument.h"
#include "results/Result_Calc.h"
#include "scoring/Calc_Unit.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>

#include <numeric>

inline int BarePdf(const Results::TReportData& data, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("the bare PDF cannot be written");
    QPdfWriter writer(&file);
    writer.setResolution(1200);
    writer.setPageLayout(Results::ReportPageLayout());
    QPainter p(&writer);
    const double dpi = writer.logicalDpiY();
    const auto pt = [dpi](double points) { return points * dpi / 72; };
    const auto font = [](double points, bool bold) {
        QFont f(QStringLiteral("Tahoma"));
        f.setPointSizeF(points);
        f.setBold(bold);
        return f;
    };
    const QFont body = font(8, false), bold = font(8, true), title = font(14, true), section = font(11, true);
    const double width = writer.width(), height = writer.height();
    const QPen line(QColor(0x60, 0x60, 0x60), pt(0.5));
    int pages = 1;
    double y = 0;
    const auto frame = [&] {
        p.setPen(Qt::black);
        p.setFont(bold);
        p.drawText(QPointF(0, pt(8)), data.Fio);
        p.setFont(body);
        p.drawText(QPointF(width * 0.8, pt(8)), QStringLiteral("Дата печати: ") + data.Printed.toString());
        p.drawText(QPointF(width / 2, height - pt(2)), QStringLiteral("Стр. %1").arg(pages));
        p.setPen(line);
        p.drawLine(QPointF(0, pt(12)), QPointF(width, pt(12)));
        p.setPen(Qt::black);
        y = pt(16);
    };
    const auto room = [&](double h) {
        if (y + h > height - pt(14)) {
            writer.newPage();
            ++pages;
            frame();
        }
    };
    const auto text = [&](const QString& s, const QFont& f, double h) {
        room(h);
        p.setFont(f);
        p.drawText(QPointF(0, y + h * 0.8), s);
        y += h;
    };
    frame();
    text(QStringLiteral("Результаты тестирования"), title, pt(17));
    for (const QString& s : {data.Fio, data.Group, data.Sex, data.Age})
        text(s, section, pt(15));
    text(QStringLiteral("Формулы:"), section, pt(20));
    for (const Results::TFormulaText& formula : data.Formulas)
        text(formula.Text, body, pt(14));

    const double unit = width / 628.0; // the window's grid width in its pixels
    const auto grid = [&](const Results::TReportGrid& g) {
        const double rowHeight = g.RowHeight * unit;
        for (const QStringList& row : g.Rows) {
            room(rowHeight);
            p.setPen(line);
            p.drawLine(QPointF(0, y), QPointF(width, y));
            p.drawLine(QPointF(0, y + rowHeight), QPointF(width, y + rowHeight));
            double x = 0;
            for (int c = 0; c < g.ColWidths.size(); ++c) {
                p.drawLine(QPointF(x, y), QPointF(x, y + rowHeight));
                x += g.ColWidths[c] * unit;
            }
            p.drawLine(QPointF(x, y), QPointF(x, y + rowHeight));
            p.setPen(Qt::black);
            p.setFont(g.Bold ? bold : body);
            x = 0;
            for (int c = 0; c < g.ColWidths.size() && c < row.size(); ++c) {
                p.drawText(QPointF(x + pt(2), y + rowHeight * 0.7), row[c]);
                x += g.ColWidths[c] * unit;
            }
            y += rowHeight;
        }
    };
    for (const Results::TReportTable& table : data.Tables) {
        text(table.Title, section, pt(20));
        grid(table.Table);
        grid(table.Footer);
    }

    const double chartWidth = (width - pt(23)) / 2;
    const double colWidth = chartWidth / Calc::kFactorCount;
    const double rowHeight = colWidth * 25 / 40;
    for (int j = 0; j < data.Charts.size(); ++j) {
        if (j % 3 == 0) {
            writer.newPage();
            ++pages;
            frame();
            text(QStringLiteral("Профили"), section, pt(16));
        }
        const Results::TChartPage& chart = data.Charts[j];
        text(chart.Caption, section, pt(14));
        const double top = y + pt(14);
        for (int half = 0; half < 2; ++half) {
            const double left = half * (chartWidth + pt(23));
            p.setFont(section);
            p.drawText(QPointF(left, y + pt(11)), half == 0 ? QStringLiteral("ППП") : QStringLiteral("ЭКП"));
            const double zero = top + (Results::kHeaderRows + Results::kChartMaxBar) * rowHeight;
            p.fillRect(QRectF(left, top, chartWidth, Results::kHeaderRows * rowHeight),
                       QColor(0xE4, 0xE4, 0xE4));
            for (int c = 0; c < Calc::kFactorCount; ++c) {
                const int up = chart.Counts.mid(half * 16 + c, 1).toInt();
                const int down = chart.Counts.mid(half * 16 + 8 + c, 1).toInt();
                p.fillRect(QRectF(left + c * colWidth, zero - up * rowHeight, colWidth, up * rowHeight),
                           Qt::red);
                p.fillRect(QRectF(left + c * colWidth, zero, colWidth, down * rowHeight), Qt::blue);
            }
            p.setPen(line);
            for (int r = 0; r <= Results::kChartRows; ++r)
                p.drawLine(QPointF(left, top + r * rowHeight),
                           QPointF(left + chartWidth, top + r * rowHeight));
            for (int c = 0; c <= Calc::kFactorCount; ++c)
                p.drawLine(QPointF(left + c * colWidth, top),
                           QPointF(left + c * colWidth, top + Results::kChartRows * rowHeight));
            p.setPen(QPen(Qt::black, pt(1.5)));
            p.drawLine(QPointF(left, zero), QPointF(left + chartWidth, zero));
            p.setPen(Qt::black);
            p.setFont(bold);
            for (int v = 0; v < 4; ++v)
                p.drawText(QPointF(left + (2 * v + 0.8) * colWidth, top + rowHeight * 0.7),
                           Calc::VectorNames[v]);
            for (int c = 0; c < Calc::kFactorCount; ++c)
                p.drawText(QPointF(left + (c + 0.3) * colWidth, top + rowHeight * 1.7), Calc::FactorNames[c]);
        }
        y = top + Results::kChartRows * rowHeight + pt(6);
    }
    p.end();
    return pages;
}
