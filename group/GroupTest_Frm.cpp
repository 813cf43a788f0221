// Group session window.
#include "group/GroupTest_Frm.h"

#include "data/DataMod.h"
#include "group/CodeSlips.h"
#include "group/GroupOptions.h"
#include "group/QrCode.h"
#include "group/Server.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Log.h"
#include "platform/ProgramDir.h"
#include "platform/RtfReader.h"
#include "testing/Instr_Frm.h"
#include "testing/RunRecord.h"

#include <QBrush>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace Group {

namespace {

constexpr int kQrScale = 4;

bool ended(TRunStatus s) { return s == TRunStatus::Finished || s == TRunStatus::Aborted; }

QString durationText(qint64 seconds) {
    const QTime t = QTime(0, 0).addSecs(static_cast<int>(seconds));
    return seconds >= 3600 ? t.toString(QStringLiteral("H:mm:ss")) : t.toString(QStringLiteral("mm:ss"));
}

// An instruction file of the program directory as the inside of an HTML body.
QString instructionHtml(const QString& suffix) {
    QTextDocument document;
    Platform::LoadRtfFile(Platform::ProgramPath(suffix), document);
    const QString html = document.toHtml();
    static const QRegularExpression body(QStringLiteral("<body[^>]*>(.*)</body>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = body.match(html);
    return m.hasMatch() ? m.captured(1) : html;
}

} // namespace

void TRunsModel::SetSession(const TSession* session) {
    beginResetModel();
    m_session = session;
    m_rows.clear();
    if (session)
        for (int i = 0; i < session->Count(); ++i)
            m_rows.append({session->Info(i), QString()});
    endResetModel();
}

void TRunsModel::Apply(int row, const TRunInfo& info) {
    if (row < 0 || row >= m_rows.size() || ended(m_rows[row].info.status))
        return;
    m_rows[row].info = info;
    Q_EMIT dataChanged(index(row, Status), index(row, Duration));
}

void TRunsModel::SetSaveError(int row, const QString& error) {
    m_rows[row].saveError = error;
    Q_EMIT dataChanged(index(row, Status), index(row, Status));
}

void TRunsModel::Tick() {
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].info.started.isValid() && !ended(m_rows[row].info.status))
            Q_EMIT dataChanged(index(row, Duration), index(row, Duration));
}

int TRunsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TRunsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TRunsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_session)
        return {};
    const TRow& row = m_rows[index.row()];
    const TRunInfo& info = row.info;
    if (role == Qt::ForegroundRole && index.column() == Status) {
        if (!row.saveError.isEmpty() || info.status == TRunStatus::Aborted)
            return QBrush(Qt::darkRed);
        if (info.status == TRunStatus::Finished)
            return QBrush(Qt::darkGreen);
        return {};
    }
    if (role == Qt::ToolTipRole && index.column() == Status && !row.saveError.isEmpty())
        return row.saveError;
    if (role == Qt::TextAlignmentRole && index.column() != Fio)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Fio:
        return m_session->Testee(index.row()).fio;
    case Code:
        return m_session->Code(index.row());
    case Status:
        return row.saveError.isEmpty() ? StatusText(info)
                                       : StatusText(info) + QStringLiteral(", не записано");
    case Started:
        return info.started.isValid() ? info.started.toString(QStringLiteral("HH:mm")) : QString();
    case Duration:
        if (!info.started.isValid())
            return QString();
        return durationText(
            info.started.secsTo(info.finished.isValid() ? info.finished : QDateTime::currentDateTime()));
    default:
        return {};
    }
}

QVariant TRunsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles = {QStringLiteral("Ф.И.О."), QStringLiteral("Код"),
                                       QStringLiteral("Состояние"), QStringLiteral("Начало"),
                                       QStringLiteral("Длительность")};
    return titles.value(section);
}

QVector<Data::Testee> ListedTestees(const Data::TQuery& menQuery) {
    const int id = menQuery.FieldIndex(QStringLiteral("Men_ID"));
    const int fio = menQuery.FieldIndex(QStringLiteral("FIO"));
    const int groupId = menQuery.FieldIndex(QStringLiteral("Group_ID"));
    const int groupName = menQuery.FieldIndex(QStringLiteral("Group_Name"));
    QVector<Data::Testee> testees;
    for (int r = 0; r < menQuery.RecordCount(); ++r) {
        Data::Testee t;
        t.id = menQuery.Value(r, id).toInt();
        t.fio = menQuery.Value(r, fio).toString();
        t.groupId = menQuery.Value(r, groupId).toInt();
        t.groupName = menQuery.Value(r, groupName).toString();
        testees.append(t);
    }
    return testees;
}

} // namespace Group

using namespace Group;

TGroupTest_Form::TGroupTest_Form(int dbId, const QVector<Data::Testee>& listed, const QList<int>& selected,
                                 int current, QWidget* parent)
    : QDialog(parent), m_listed(listed), m_dbId(dbId) {
    setWindowTitle(QStringLiteral("Групповое тестирование"));
    // Several selected testees, then every group of the list; a lone testee without a group alone.
    const auto idsWhere = [this](auto&& keep) {
        QList<int> ids;
        for (const Data::Testee& t : std::as_const(m_listed))
            if (keep(t))
                ids << t.id;
        return ids;
    };
    if (selected.size() > 1)
        m_choices.append({QStringLiteral("Выбранные в списке (%1)").arg(selected.size()),
                          idsWhere([&](const Data::Testee& t) { return selected.contains(t.id); })});
    QStringList groups;
    QString currentGroup;
    for (const Data::Testee& t : std::as_const(m_listed)) {
        if (t.groupId != 0 && !t.groupName.isEmpty() && !groups.contains(t.groupName))
            groups << t.groupName;
        if (t.id == current)
            currentGroup = t.groupName;
    }
    groups.sort(Qt::CaseInsensitive);
    int chosen = 0;
    for (const QString& g : std::as_const(groups)) {
        const QList<int> ids =
            idsWhere([&](const Data::Testee& t) { return t.groupId != 0 && t.groupName == g; });
        if (selected.size() <= 1 && g == currentGroup)
            chosen = static_cast<int>(m_choices.size());
        m_choices.append({QStringLiteral("Группа «%1» (%2)").arg(g).arg(ids.size()), ids});
    }
    if (m_choices.isEmpty() || (selected.size() <= 1 && currentGroup.isEmpty())) {
        const QList<int> ids = idsWhere([&](const Data::Testee& t) { return t.id == current; });
        if (!ids.isEmpty()) {
            chosen = static_cast<int>(m_choices.size());
            m_choices.append({QStringLiteral("Выбранный в списке (1)"), ids});
        }
    }
    m_runs = new TRunsModel;
    m_runs->setParent(this);
    createWidgets();
    createLayout();
    createConnections();
    Testees_ComboBox->setCurrentIndex(chosen);
    newSession();
}

TGroupTest_Form::~TGroupTest_Form() {
    // The server's thread uses the session: it ends first.
    m_server.reset();
}

void TGroupTest_Form::createWidgets() {
    Testees_ComboBox = new QComboBox(this);
    Testees_ComboBox->setObjectName(QStringLiteral("Testees_ComboBox"));
    for (const auto& [caption, ids] : std::as_const(m_choices))
        Testees_ComboBox->addItem(caption);
    Address_Label = new QLabel(this);
    Address_Label->setObjectName(QStringLiteral("Address_Label"));
    Address_Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = Address_Label->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    Address_Label->setFont(big);
    Qr_Label = new QLabel(this);
    Qr_Label->setObjectName(QStringLiteral("Qr_Label"));
    State_Label = new QLabel(this);
    State_Label->setObjectName(QStringLiteral("State_Label"));
    State_Label->setWordWrap(true);
    Runs_Grid = new QTableView(this);
    Runs_Grid->setObjectName(QStringLiteral("Runs_Grid"));
    Runs_Grid->setModel(m_runs);
    Runs_Grid->setSelectionMode(QAbstractItemView::NoSelection);
    Runs_Grid->verticalHeader()->hide();
    Runs_Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Runs_Grid->horizontalHeader()->setSectionResizeMode(TRunsModel::Fio, QHeaderView::Stretch);
    Start_But = new QPushButton(QStringLiteral("Начать"), this);
    Start_But->setObjectName(QStringLiteral("Start_But"));
    Start_But->setToolTip(QStringLiteral("Открыть сервер: с этого момента коды действуют"));
    Finish_But = new QPushButton(QStringLiteral("Завершить"), this);
    Finish_But->setObjectName(QStringLiteral("Finish_But"));
    Finish_But->setToolTip(QStringLiteral("Закрыть сервер; незаконченные тестирования не сохраняются"));
    Finish_But->setEnabled(false);
    PrintCodes_But = new QPushButton(QStringLiteral("Печать кодов"), this);
    PrintCodes_But->setObjectName(QStringLiteral("PrintCodes_But"));
    Close_But = new QPushButton(QStringLiteral("Закрыть"), this);
    Close_But->setObjectName(QStringLiteral("Close_But"));
    Close_But->setAutoDefault(false);
    Start_But->setDefault(true);
}

void TGroupTest_Form::createLayout() {
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Тестируемые:"), Testees_ComboBox);
    auto* hint =
        new QLabel(QStringLiteral("Откройте этот адрес в браузере планшета, телефона или компьютера в той же "
                                  "сети (или наведите камеру на QR-код) и введите свой код."),
                   this);
    hint->setWordWrap(true);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(new QLabel(QStringLiteral("Адрес для браузера:"), this));
    left->addWidget(Address_Label);
    left->addWidget(hint);
    left->addWidget(State_Label);
    left->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(Qr_Label, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Start_But);
    buttons->addWidget(Finish_But);
    buttons->addWidget(PrintCodes_But);
    buttons->addStretch();
    buttons->addWidget(Close_But);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Runs_Grid, 1);
    layout->addLayout(buttons);
    resize(760, 560);
}

void TGroupTest_Form::createConnections() {
    connect(Start_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Start_ButClick(); }); });
    connect(Finish_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Finish_ButClick(); }); });
    connect(PrintCodes_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { PrintCodes_ButClick(); }); });
    connect(Close_But, &QPushButton::clicked, this, &TGroupTest_Form::reject);
    connect(Testees_ComboBox, &QComboBox::currentIndexChanged, this, [this] { newSession(); });
    connect(&m_tick, &QTimer::timeout, m_runs, &TRunsModel::Tick);
    m_tick.setInterval(1000);
}

void TGroupTest_Form::newSession() {
    if (m_server)
        return;
    const int choice = Testees_ComboBox->currentIndex();
    QVector<Data::Testee> testees;
    if (choice >= 0)
        for (const Data::Testee& t : std::as_const(m_listed))
            if (m_choices[choice].second.contains(t.id))
                testees.append(t);
    m_runs->SetSession(nullptr);
    m_session = std::make_unique<TSession>(m_dbId, testees);
    m_saved = QVector<bool>(testees.size(), false);
    m_failed = m_saved;
    m_runs->SetSession(m_session.get());
    connect(m_session.get(), &TSession::RunChanged, m_runs, &TRunsModel::Apply);
    connect(m_session.get(), &TSession::RunFinished, this, [this] { saveFinished(false); });
    Start_But->setEnabled(!testees.isEmpty());
    PrintCodes_But->setEnabled(!testees.isEmpty());
    const TNetworkSettings settings = ReadNetworkSettings(Platform::SettingsPath());
    m_address = ListenAddress(settings);
    m_port = static_cast<quint16>(settings.port);
    showAddress();
    State_Label->setText(QStringLiteral("Сервер не запущен. Раздайте коды и нажмите «Начать»."));
}

QString TGroupTest_Form::Address() const {
    return QStringLiteral("http://%1:%2/").arg(m_address.toString()).arg(m_port);
}

void TGroupTest_Form::showAddress() {
    Address_Label->setText(Address());
    Qr_Label->setPixmap(QPixmap::fromImage(QrImage(Address(), kQrScale)));
}

void TGroupTest_Form::Start_ButClick() {
    if (m_server || m_ended)
        return;
    const TNetworkSettings settings = ReadNetworkSettings(Platform::SettingsPath());
    m_address = ListenAddress(settings);
    // Both instructions are read before anything opens: a missing one is reported and nothing starts.
    m_session->SetInstructions(instructionHtml(kFirstInstruction), instructionHtml(kSecondInstruction));
    const QString log = Platform::DataPath(
        QStringLiteral("/DB/group-%1.log")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    auto server = std::make_unique<TServer>(*m_session, log);
    QString error;
    const quint16 port = server->Start(m_address, static_cast<quint16>(settings.port), &error);
    if (port == 0) {
        Platform::messageBox(this, error, QStringLiteral("Групповое тестирование"), Platform::MsgIcon::Error);
        return;
    }
    m_server = std::move(server);
    m_port = port;
    showAddress();
    Testees_ComboBox->setEnabled(false);
    Start_But->setEnabled(false);
    Finish_But->setEnabled(true);
    Finish_But->setDefault(true);
    State_Label->setText(QStringLiteral("Сервер работает с %1. Журнал соединений: %2")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")), log));
    m_tick.start();
}

void TGroupTest_Form::Finish_ButClick() {
    if (!m_server)
        return;
    int underway = 0;
    for (int row = 0; row < m_session->Count(); ++row) {
        const TRunStatus s = m_session->Info(row).status;
        underway += s != TRunStatus::Waiting && !ended(s);
    }
    if (underway > 0 &&
        Platform::messageBox(
            this,
            QStringLiteral("Тестирование не закончили: %1. Их ответы не будут сохранены. Завершить?")
                .arg(underway),
            QStringLiteral("Групповое тестирование"), Platform::MsgIcon::Question,
            Platform::MsgButtons::YesNo, Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    endSession();
}

void TGroupTest_Form::endSession() {
    m_server.reset();
    // What the server's thread said before it ended is shown before the session marks the rest aborted.
    QCoreApplication::sendPostedEvents(m_runs);
    QCoreApplication::sendPostedEvents(this);
    m_session->Close();
    m_ended = true;
    m_tick.stop();
    m_runs->Tick();
    Finish_But->setEnabled(false);
    Close_But->setDefault(true);
    saveFinished(true);
    int finished = 0;
    for (int row = 0; row < m_session->Count(); ++row)
        finished += m_session->Info(row).status == TRunStatus::Finished;
    State_Label->setText(QStringLiteral("Сеанс завершён в %1. Закончили тестирование: %2 из %3.")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")))
                             .arg(finished)
                             .arg(m_session->Count()));
}

bool TGroupTest_Form::saveFinished(bool all) {
    bool saved = true;
    bool wrote = false;
    for (int row = 0; row < m_session->Count(); ++row) {
        const TRunInfo info = m_session->Info(row);
        // A run whose record failed is tried again only when all are (at "Завершить" and at closing).
        if (m_saved[row] || info.status != TRunStatus::Finished || (!all && m_failed[row]))
            continue;
        // One record per turn of the event loop: the window repaints between the writes of runs that
        // end together.
        if (!all && wrote) {
            QTimer::singleShot(0, this, [this] { saveFinished(false); });
            break;
        }
        wrote = true;
        try {
            Testing::SaveRun(m_session->DbId(), m_session->Testee(row).id, m_session->ResultTest(row),
                             info.finished);
            m_saved[row] = true;
            m_failed[row] = false;
            m_runs->SetSaveError(row, QString());
        } catch (const std::exception& e) {
            const auto* error = dynamic_cast<const Platform::EError*>(&e);
            Platform::LogError(QStringLiteral("Групповое тестирование: запись результата"),
                               error && !error->detail().isEmpty() ? error->detail()
                                                                   : QString::fromUtf8(e.what()));
            m_failed[row] = true;
            m_runs->SetSaveError(row, QString::fromUtf8(e.what()));
            saved = false;
        }
    }
    return saved;
}

void TGroupTest_Form::PrintCodes_ButClick() {
    QList<TSlip> slips;
    for (int row = 0; row < m_session->Count(); ++row)
        slips.append({m_session->Testee(row).fio, m_session->Code(row)});
    QMenu menu(this);
    QAction* print = menu.addAction(QStringLiteral("Печать..."));
    QAction* pdf = menu.addAction(QStringLiteral("Сохранить в PDF..."));
    QAction* chosen = menu.exec(PrintCodes_But->mapToGlobal(QPoint(0, PrintCodes_But->height())));
    if (chosen == print)
        PrintSlips(this, slips, Address());
    else if (chosen == pdf)
        SaveSlipsAs(this, slips, Address());
}

void TGroupTest_Form::reject() {
    if (m_server) {
        if (Platform::messageBox(
                this,
                QStringLiteral("Завершить групповое тестирование? Незаконченные тестирования не "
                               "будут сохранены."),
                QStringLiteral("Групповое тестирование"), Platform::MsgIcon::Question,
                Platform::MsgButtons::YesNo, Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
            return;
        endSession();
    }
    if (!saveFinished(true) &&
        Platform::messageBox(
            this,
            QStringLiteral("Результаты некоторых тестируемых не удалось записать (причина — в "
                           "подсказке к строке). Закрыть окно и потерять их?"),
            QStringLiteral("Групповое тестирование"), Platform::MsgIcon::Warning, Platform::MsgButtons::YesNo,
            Platform::MsgAnswer::No) != Platform::MsgAnswer::Yes)
        return;
    QDialog::reject();
}

void ShowGroupTesting(const QVector<Data::Testee>& listed, const QList<int>& selected, int current,
                      QWidget* parent) {
    TGroupTest_Form form(Main_DataModule->Current_DB_ID, listed, selected, current, parent);
    form.exec();
}
