// The examiner's window of a group session: the address to open (and its QR code), one row per testee
// with his personal code and the live state of his run, and the commands "Начать", "Завершить" and
// "Печать кодов". Every run that reaches its end is scored and stored as a test record of its testee,
// through the same function as a run at the examiner's screen.
#pragma once

#include "data/Records.h"
#include "group/Session.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QHostAddress>
#include <QTimer>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
namespace Data {
class TQuery;
}

namespace Group {

class TServer;

// The rows of the window: one per testee of the session, with what his run shows.
class TRunsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { Fio, Code, Status, Started, Duration, ColumnCount };

    // Shows the rows of `session` (null: none).
    void SetSession(const TSession* session);
    // Applies one change of a run. An ended run (finished or aborted) keeps its end.
    void Apply(int row, const TRunInfo& info);
    // The record of a finished run could not be written (`error` the reason), or was (empty).
    void SetSaveError(int row, const QString& error);
    // The durations of the runs under way moved on.
    void Tick();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct TRow {
        TRunInfo info;
        QString saveError;
    };
    const TSession* m_session = nullptr;
    QVector<TRow> m_rows;
};

} // namespace Group

class TGroupTest_Form : public QDialog {
    Q_OBJECT
public:
    // A session for testees of the list `listed` of database `dbId`: those of `selected` (Men_IDs) when
    // there are several, or a group of the list, chosen in the window (the group of `current` first).
    TGroupTest_Form(int dbId, const QVector<Data::Testee>& listed, const QList<int>& selected, int current,
                    QWidget* parent = nullptr);
    ~TGroupTest_Form() override;

    QComboBox* Testees_ComboBox;
    QLabel* Address_Label;
    QLabel* Qr_Label;
    QLabel* State_Label;
    QTableView* Runs_Grid;
    QPushButton* Start_But;
    QPushButton* Finish_But;
    QPushButton* PrintCodes_But;
    QPushButton* Close_But;

    Group::TSession* Session() const { return m_session.get(); }
    Group::TRunsModel* Runs() const { return m_runs; }
    // The address testees open ("http://address:port/").
    QString Address() const;

public Q_SLOTS:
    // Opens the server on the address and port of the settings.
    void Start_ButClick();
    // Closes the server; runs not finished are aborted and written nowhere.
    void Finish_ButClick();
    // The slips of the codes: a menu of printing and saving as PDF.
    void PrintCodes_ButClick();
    // While the server is open, closing asks first and ends the session.
    void reject() override;

private:
    void createWidgets();
    void createLayout();
    void createConnections();
    // A new session (new codes) for the testees chosen in Testees_ComboBox.
    void newSession();
    void showAddress();
    // Ends the session: the server closed, unfinished runs aborted, finished ones stored.
    void endSession();
    // Stores the finished runs not stored yet: all of them now, or (`all` false) one now and the next ones
    // on the following turns of the event loop, leaving out those that failed before. False when one
    // could not be written.
    bool saveFinished(bool all);
    QList<QPair<QString, QList<int>>> m_choices; // Testees_ComboBox: caption and Men_IDs
    QVector<Data::Testee> m_listed;
    int m_dbId;
    Group::TRunsModel* m_runs;
    std::unique_ptr<Group::TSession> m_session;
    std::unique_ptr<Group::TServer> m_server;
    QVector<bool> m_saved;
    QVector<bool> m_failed;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_ended = false;
    QTimer m_tick;
};

namespace Group {
// The testees of the main window's list, in its order.
QVector<Data::Testee> ListedTestees(const Data::TQuery& menQuery);
} // namespace Group

// "Групповое тестирование...": the window for the listed testees, modal, until closed.
void ShowGroupTesting(const QVector<Data::Testee>& listed, const QList<int>& selected, int current,
                      QWidget* parent = nullptr);
