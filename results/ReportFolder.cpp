// The folder of the reports, in a file of its own: the start-up checks it without taking in the export.
#include "results/ExportExcel.h"

#include <QDir>
#include <QStandardPaths>

namespace Results {

QString ReportFolder() {
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return docs + QStringLiteral("/Отчёты Morvel");
}

} // namespace Results
