// The CSV export for statistics: the query of all tests with their testees, one row per test written
// field by field, and its options window.
#include "app/StatExport.h"

#include "data/DataMod.h"
#include "data/Statements.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Locale.h"
#include "platform/SaveFile.h"
#include "results/ExportExcel.h"
#include "results/ResultsModel.h"
#include "scoring/Calc_Unit.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QVBoxLayout>

namespace Stat {

namespace {

constexpr int kProgressStep = 250; // rows between two looks at the progress window
constexpr qsizetype kFlushBytes = 1 << 16;

// Columns of the export query.
enum Column {
    kMenId,
    kFio,
    kGroupName,
    kSex,
    kAge,
    kTestId,
    kDate,
    kTime,
    kNote,
    kResultTest,
    kResultProfil,
    kCalcProfil,
    kCalcProfilNapr,
    kColumnCount
};

// Keys and testee (6), record (6), counts (32), types and intensities (32), ТКП (8), and the indices of
// ППП, ЭКП and ТКП.
constexpr int kIndexCount = 6; // Sum 0, Sum ±, СНТ, Sum!, TspQu, Sy%
constexpr int kFieldCount =
    12 + 4 * Calc::kFactorCount + 4 * Calc::kFactorCount + Calc::kFactorCount + 3 * kIndexCount;

const QString kModeTest = QStringLiteral("тест");
const QString kModeProfile = QStringLiteral("профиль");

bool isReaction(QChar type) {
    return std::find(Calc::ReactionSigns.begin(), Calc::ReactionSigns.end(), QString(type)) !=
           Calc::ReactionSigns.end();
}

QString isoDate(const QVariant& value) {
    if (value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QDate)
        return Platform::DateToIso(value.toDate());
    const QDate date = Platform::IsoToDate(value.toString());
    return date.isValid() ? Platform::DateToIso(date) : value.toString();
}

QString isoTime(const QVariant& value) {
    if (value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QTime)
        return Platform::TimeToIso(value.toTime());
    const QTime time = Platform::IsoToTime(value.toString());
    return time.isValid() ? Platform::TimeToIso(time) : value.toString();
}

void writeOut(QIODevice& out, QByteArray& buffer) {
    if (!Platform::WriteAll(out, buffer.constData(), buffer.size()))
        throw Platform::EError(QStringLiteral("Не удается записать файл: ") + out.errorString());
    buffer.clear();
}

} // namespace

QChar LocaleSeparator(const QLocale& locale) {
    return locale.decimalPoint() == QStringLiteral(",") ? QLatin1Char(';') : QLatin1Char(',');
}

QString CsvField(const QString& text, QChar separator) {
    const bool quote = text.contains(separator) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString GuardFormula(const QString& text) {
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        return QLatin1Char('\'') + text;
    return text;
}

QString MarkAsText(const QString& text) { return text.isEmpty() ? text : QLatin1Char('\'') + text; }

QStringList HeaderNames(bool latin) {
    const QString menId = QStringLiteral("Men_ID");
    const QString testId = QStringLiteral("Test_ID");
    QStringList names = latin ? QStringList{menId,
                                            QStringLiteral("FIO"),
                                            QStringLiteral("Group"),
                                            QStringLiteral("Sex"),
                                            QStringLiteral("Age"),
                                            testId,
                                            QStringLiteral("Date"),
                                            QStringLiteral("Time"),
                                            QStringLiteral("Note"),
                                            QStringLiteral("Entry")}
                              : QStringList{menId,
                                            QStringLiteral("ФИО"),
                                            QStringLiteral("Группа"),
                                            QStringLiteral("Пол"),
                                            QStringLiteral("Возраст"),
                                            testId,
                                            QStringLiteral("Дата"),
                                            QStringLiteral("Время"),
                                            QStringLiteral("Примечание"),
                                            QStringLiteral("Способ ввода")};
    names << QStringLiteral("Result_Test") << QStringLiteral("Result_Profil");
    const QString profiles[3] = {latin ? QStringLiteral("PPP") : QStringLiteral("ППП"),
                                 latin ? QStringLiteral("EKP") : QStringLiteral("ЭКП"),
                                 latin ? QStringLiteral("TKP") : QStringLiteral("ТКП")};
    const auto perFactor = [&](const QString& pattern) {
        for (const QString& factor : Calc::FactorNames)
            names << pattern.arg(factor);
    };
    for (int p = 0; p < 2; ++p) {
        perFactor(profiles[p] + (latin ? QStringLiteral("_plus_%1") : QStringLiteral("+ %1")));
        perFactor(profiles[p] + (latin ? QStringLiteral("_minus_%1") : QStringLiteral("- %1")));
    }
    for (int p = 0; p < 2; ++p) {
        perFactor(profiles[p] + (latin ? QStringLiteral("_type_%1") : QStringLiteral(" тип %1")));
        perFactor(profiles[p] +
                  (latin ? QStringLiteral("_intensity_%1") : QStringLiteral(" интенсивность %1")));
    }
    perFactor(profiles[2] + (latin ? QStringLiteral("_%1") : QStringLiteral(" %1")));
    const QStringList indices =
        latin ? QStringList{QStringLiteral("_Sum0"),     QStringLiteral("_SumAmb"), QStringLiteral("_SNT"),
                            QStringLiteral("_SumMarks"), QStringLiteral("_TspQu"),  QStringLiteral("_SyPct")}
              : QStringList{QStringLiteral(" Sum 0"), QStringLiteral(" Sum ±"), QStringLiteral(" СНТ"),
                            QStringLiteral(" Sum!"),  QStringLiteral(" TspQu"), QStringLiteral(" Sy%")};
    for (const QString& profile : profiles)
        for (const QString& index : indices)
            names << profile + index;
    return names;
}

QStringList RecordFields(const Data::TDataset& query, int row) {
    const auto text = [&](int column) { return query.Value(row, column).toString(); };
    // A key or an age as its number; anything else a tampered file may hold there as its text.
    const auto number = [&](int column) {
        const QVariant value = query.Value(row, column);
        if (value.isNull())
            return QString();
        bool isNumber = false;
        const qlonglong n = value.toLongLong(&isNumber);
        return isNumber ? QString::number(n) : value.toString();
    };
    QStringList fields;
    fields.reserve(kFieldCount);
    fields << number(kMenId) << text(kFio) << text(kGroupName) << text(kSex) << number(kAge)
           << number(kTestId) << isoDate(query.Value(row, kDate)) << isoTime(query.Value(row, kTime))
           << text(kNote);
    const QString resultTest = text(kResultTest);
    const QString profil = text(kResultProfil);
    fields << (resultTest.isEmpty() ? kModeProfile : kModeTest) << MarkAsText(resultTest)
           << MarkAsText(profil);

    // The counts only from a complete profile of digits: a damaged one gives missing values, not wrong ones.
    constexpr int kCounts = 4 * Calc::kFactorCount;
    const bool counts = profil.size() == kCounts &&
                        std::all_of(profil.begin(), profil.end(), [](QChar c) { return c.isDigit(); });
    for (int i = 0; i < kCounts; ++i)
        fields << (counts ? QString(profil[i]) : QString());

    const QString types = text(kCalcProfil);
    const QString marks = text(kCalcProfilNapr);
    const auto type = [&](int i) {
        return i < types.size() && isReaction(types[i]) ? QString(types[i]) : QString();
    };
    const auto intensity = [&](int i) {
        return i < marks.size() && marks[i] >= QLatin1Char('0') &&
                       marks[i].digitValue() < int(Results::MarkStrings.size())
                   ? QString(marks[i])
                   : QString();
    };
    for (int half = 0; half < 2; ++half) {
        for (int f = 0; f < Calc::kFactorCount; ++f)
            fields << type(half * Calc::kFactorCount + f);
        for (int f = 0; f < Calc::kFactorCount; ++f)
            fields << intensity(half * Calc::kFactorCount + f);
    }
    // The factor cells of ППП, ЭКП and ТКП as the results window shows them (empty where the record is
    // damaged); ТКП derived from ППП.
    std::array<QStringList, 3> cells;
    bool complete = true;
    for (int i = 0; i < 2 * Calc::kFactorCount; ++i) {
        const QString t = type(i);
        const QString n = intensity(i);
        complete = complete && !t.isEmpty() && !n.isEmpty();
        cells[size_t(i / Calc::kFactorCount)]
            << (t.isEmpty() || n.isEmpty() ? QString() : t + Results::MarkStrings[size_t(n[0].digitValue())]);
    }
    for (const QString& cell : cells[0])
        cells[2] << Results::TheoreticalCell(cell);
    fields << cells[2];
    // The footer indices of the results of this one record; empty where the results cannot show it.
    Data::TestRecord record;
    record.calcProfil = types;
    record.calcProfilNapr = marks;
    std::optional<std::array<Results::TProfileTable, 3>> tables;
    try {
        if (complete)
            tables = Results::ProfileTables({record});
    } catch (const Calc::EConvertError&) {
    }
    for (int t = 0; t < 3; ++t) {
        if (!tables) {
            fields << QStringList(kIndexCount, QString());
            continue;
        }
        const Results::TProfileCounts& indices = (*tables)[size_t(t)].Counts;
        fields << QString::number(indices.TotalZeros()) << QString::number(indices.TotalAmbivalents())
               << QString::number(indices.TotalSnt()) << QString::number(indices.Marks())
               << Platform::FloatToStr(indices.TspQu()) << Platform::FloatToStr(indices.SyPercent());
    }
    return fields;
}

std::unique_ptr<Data::TQuery> OpenStatQuery(int dbId) {
    auto query = std::make_unique<Data::TQuery>(Main_DataModule->Main_Database(), nullptr);
    query->SetSQL(Data::kStatExportSQL);
    query->SetParam(QStringLiteral("DB_ID"), dbId);
    query->Open();
    if (query->FieldNames().size() != kColumnCount)
        throw Data::EDatabaseError(QStringLiteral("Запрос экспорта вернул неожиданные поля"));
    return query;
}

QVector<int> SelectRows(const Data::TDataset& query, const QList<int>& menIds) {
    const QSet<int> wanted(menIds.begin(), menIds.end());
    QVector<int> rows;
    rows.reserve(query.RecordCount());
    for (int r = 0; r < query.RecordCount(); ++r)
        if (wanted.isEmpty() || wanted.contains(query.Value(r, kMenId).toInt()))
            rows.append(r);
    return rows;
}

bool WriteStatCsv(const Data::TDataset& query, const QVector<int>& rows, QIODevice& out,
                  const TCsvOptions& options, const std::function<bool(int, int)>& progress) {
    const QString separator(options.Separator);
    const auto line = [&](const QStringList& fields) {
        QString text;
        for (int i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += separator;
            text += CsvField(GuardFormula(fields[i]), options.Separator);
        }
        text += QStringLiteral("\r\n");
        return text.toUtf8();
    };
    QByteArray buffer("\xEF\xBB\xBF");
    buffer += line(HeaderNames(options.LatinHeaders));
    const int total = int(rows.size());
    for (int i = 0; i < total; ++i) {
        if (progress && i % kProgressStep == 0 && !progress(i, total))
            return false;
        buffer += line(RecordFields(query, rows[i]));
        if (buffer.size() >= kFlushBytes)
            writeOut(out, buffer);
    }
    writeOut(out, buffer);
    return !progress || progress(total, total);
}

bool ExportStatistics(const QString& path, const Data::TDataset& query, const QVector<int>& rows,
                      const TCsvOptions& options, QWidget* owner) {
    QSaveFile file(path);
    if (!Platform::PrivateWrite(path, [&file] { return file.open(QIODevice::WriteOnly); }))
        throw Platform::EError(QStringLiteral("Не удается создать файл %1:\n%2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    std::unique_ptr<QProgressDialog> dialog;
    if (rows.size() >= kProgressMinRows) {
        dialog = std::make_unique<QProgressDialog>(QStringLiteral("Идет экспорт для статистики..."),
                                                   QStringLiteral("Отмена"), 0, int(rows.size()), owner);
        dialog->setWindowTitle(QStringLiteral("Экспорт для статистики"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
    }
    const auto progress = [&](int done, int) {
        if (!dialog)
            return true;
        dialog->setValue(done);
        return !dialog->wasCanceled();
    };
    bool complete = false;
    try {
        complete = WriteStatCsv(query, rows, file, options, progress);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (!complete) {
        file.cancelWriting();
        return false;
    }
    if (QString reason; !Platform::CommitAll(file, reason))
        throw Platform::EError(
            QStringLiteral("Не удается записать файл %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
    return true;
}

} // namespace Stat

TStatExport_Form::TStatExport_Form(const QList<int>& menIds, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("StatExport_Form"));
    setWindowTitle(QStringLiteral("Экспорт для статистики"));
    m_query = Stat::OpenStatQuery(Main_DataModule->Current_DB_ID);
    m_rows = Stat::SelectRows(*m_query, menIds);

    const QString scope =
        menIds.isEmpty() ? QStringLiteral("Все тестирования открытой базы данных: %1.").arg(m_rows.size())
                         : QStringLiteral("Тестирования выбранных тестируемых (%1): %2.")
                               .arg(menIds.size())
                               .arg(m_rows.size());
    Info_Label = new QLabel(scope + QStringLiteral("\nОдна строка файла CSV на каждое тестирование."), this);
    Latin_CheckBox = new QCheckBox(QStringLiteral("Заголовки латиницей"), this);
    Latin_CheckBox->setToolTip(
        QStringLiteral("Названия столбцов латинскими буквами, для программ статистики"));
    Save_But = new QPushButton(QStringLiteral("Сохранить..."), this);
    Save_But->setDefault(true);
    Save_But->setEnabled(!m_rows.isEmpty());
    Cancel_But = new QPushButton(QStringLiteral("Отмена"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Save_But);
    buttons->addWidget(Cancel_But);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Info_Label);
    layout->addWidget(Latin_CheckBox);
    layout->addLayout(buttons);

    connect(Save_But, &QPushButton::clicked, this, &TStatExport_Form::Save_ButClick);
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
}

TStatExport_Form::~TStatExport_Form() = default;

void TStatExport_Form::Save_ButClick() {
    Platform::guarded([this] {
        const QString folder = Results::ReportFolder();
        Platform::MakePrivatePath(folder);
        const QString proposed = folder + QStringLiteral("/Статистика ") +
                                 Platform::DateToStr(QDate::currentDate()) + QStringLiteral(".csv");
        const QString path = Platform::getSaveFileName(
            this, windowTitle(), proposed, QStringLiteral("Файлы CSV (*.csv)"), QStringLiteral(".csv"));
        if (path.isEmpty())
            return;
        Stat::TCsvOptions options;
        options.Separator = Stat::LocaleSeparator();
        options.LatinHeaders = Latin_CheckBox->isChecked();
        if (!Stat::ExportStatistics(path, *m_query, m_rows, options, this)) {
            Platform::messageBox(this, QStringLiteral("Экспорт прерван, файл не создан."), windowTitle(),
                                 Platform::MsgIcon::Information);
            return;
        }
        m_savedPath = path;
        Platform::messageBox(this, QStringLiteral("Выгружено тестирований: %1.").arg(m_rows.size()),
                             windowTitle(), Platform::MsgIcon::Information);
        accept();
    });
}

bool ShowStatExport(const QList<int>& menIds, QWidget* parent) {
    TStatExport_Form form(menIds, parent);
    form.exec();
    return !form.SavedPath().isEmpty();
}
