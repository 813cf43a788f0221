// A group session: the testees with their personal codes and the run each one takes in a browser. The
// server's thread logs testees in and moves their runs on; the examiner's window reads the same rows and
// is told of every change. All calls may come from any thread.
#pragma once

#include "data/Records.h"
#include "group/RunSteps.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QVector>

namespace Group {

enum class TRunStatus { Waiting, Instruction, FirstPass, SecondPass, Finished, Aborted };

// What the examiner's window shows of a run.
struct TRunInfo {
    TRunStatus status = TRunStatus::Waiting;
    int series = 0; // on a screen of either pass
    QDateTime started;
    QDateTime finished;
};

// "ждёт", "инструкция", "серия n из 6", "второй проход", "завершено", "прервано".
QString StatusText(const TRunInfo& info);

class TSession : public QObject {
    Q_OBJECT
public:
    // Wrong codes from one address before it is locked out, and for how long.
    static constexpr int kTriesPerAddress = 5;
    static constexpr int kLockSeconds = 60;

    // A session for `testees` of database `dbId`, each with a new code.
    TSession(int dbId, const QVector<Data::Testee>& testees, QObject* parent = nullptr);

    int DbId() const { return m_dbId; }
    int Count() const { return static_cast<int>(m_rows.size()); }
    const Data::Testee& Testee(int row) const { return m_rows[row].testee; }
    const QString& Code(int row) const { return m_rows[row].code; }
    TRunInfo Info(int row) const;
    // The 48 digits of a finished run; empty otherwise.
    QString ResultTest(int row) const;

    // The two instructions as HTML; set before the server opens.
    void SetInstructions(const QString& first, const QString& second);
    // The instruction shown at `step` (TRunSteps::kFirstInstruction or kSecondInstruction).
    const QString& Instruction(int step) const;

    enum class TLogin { Ok, Wrong, Locked };
    // A testee typed `typed` on a device at `from`. Ok hands out a new token for his run (an earlier
    // device's token stops working); a code that belongs to no run still to be taken is Wrong, and the
    // address is locked out after kTriesPerAddress of them; `retryAfter` gets the seconds left then.
    TLogin Login(const QString& typed, const QHostAddress& from, QByteArray* token, int* retryAfter);

    enum class TAction { View, Begin, Choose, Back };
    enum class TOutcome { Ok, NoRun, OutOfOrder, Refused };
    // Acts for the run of `token` at its step `step` (ignored for View), with the chosen `pair` for
    // Choose. NoRun: no run has this token; OutOfOrder: the run is at another step; Refused: the action
    // is not allowed there. Only Ok changes anything. `steps` gets the run's steps afterwards.
    TOutcome Act(const QByteArray& token, TAction action, int step, const QString& pair, TRunSteps* steps);

    // Ends the session: no code and no token works any more, and every run not finished is aborted.
    void Close();

Q_SIGNALS:
    // A run's status or times changed (emitted on the thread that changed it, once per change).
    void RunChanged(int row, const Group::TRunInfo& info);
    // A run reached its end: ResultTest(row) and Info(row).finished are final.
    void RunFinished(int row);

private:
    struct TRow {
        Data::Testee testee;
        QString code;
        QByteArray token;
        TRunSteps steps;
        bool loggedIn = false;
        bool aborted = false;
        QDateTime started;
        QDateTime finished;
    };
    struct TAddressTries {
        int wrong = 0;
        qint64 lockedUntil = 0; // on m_clock, ms
    };
    TRunInfo infoOf(const TRow& row) const;
    int rowOfToken(const QByteArray& token) const;

    const int m_dbId;
    QVector<TRow> m_rows;
    QString m_instructions[2];
    mutable QMutex m_mutex;
    QHash<QHostAddress, TAddressTries> m_tries;
    QElapsedTimer m_clock;
    bool m_closed = false;
};

} // namespace Group

Q_DECLARE_METATYPE(Group::TRunInfo)
