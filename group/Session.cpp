// Group session.
#include "group/Session.h"

#include "group/Codes.h"

#include <QRandomGenerator>

namespace Group {

namespace {

constexpr int kTokenBytes = 16;

QByteArray newToken() {
    QByteArray bytes(kTokenBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), kTokenBytes / 4);
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size() || a.isEmpty())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

QString StatusText(const TRunInfo& info) {
    switch (info.status) {
    case TRunStatus::Waiting:
        return QStringLiteral("ждёт");
    case TRunStatus::Instruction:
        return QStringLiteral("инструкция");
    case TRunStatus::FirstPass:
        return QStringLiteral("серия %1 из %2").arg(info.series).arg(Calc::kSeriesCount);
    case TRunStatus::SecondPass:
        return QStringLiteral("второй проход");
    case TRunStatus::Finished:
        return QStringLiteral("завершено");
    case TRunStatus::Aborted:
        return QStringLiteral("прервано");
    }
    return {};
}

TSession::TSession(int dbId, const QVector<Data::Testee>& testees, QObject* parent)
    : QObject(parent), m_dbId(dbId) {
    qRegisterMetaType<Group::TRunInfo>();
    const QStringList codes = NewCodes(static_cast<int>(testees.size()));
    m_rows.reserve(testees.size());
    for (qsizetype i = 0; i < testees.size(); ++i) {
        TRow row;
        row.testee = testees[i];
        row.code = codes[i];
        m_rows.append(row);
    }
    m_clock.start();
}

TRunInfo TSession::infoOf(const TRow& row) const {
    TRunInfo info{TRunStatus::Waiting, row.steps.Series(), row.started, row.finished};
    if (row.aborted)
        info.status = TRunStatus::Aborted;
    else if (!row.loggedIn)
        info.status = TRunStatus::Waiting;
    else if (row.steps.View() == TRunSteps::TView::Done)
        info.status = TRunStatus::Finished;
    else if (row.steps.View() == TRunSteps::TView::Instruction)
        info.status = TRunStatus::Instruction;
    else
        info.status = row.steps.Pass() == 1 ? TRunStatus::FirstPass : TRunStatus::SecondPass;
    return info;
}

TRunInfo TSession::Info(int row) const {
    const QMutexLocker lock(&m_mutex);
    return infoOf(m_rows[row]);
}

QString TSession::ResultTest(int row) const {
    const QMutexLocker lock(&m_mutex);
    const TRow& r = m_rows[row];
    return r.steps.View() == TRunSteps::TView::Done && !r.aborted ? r.steps.ResultTest() : QString();
}

void TSession::SetInstructions(const QString& first, const QString& second) {
    m_instructions[0] = first;
    m_instructions[1] = second;
}

const QString& TSession::Instruction(int step) const {
    return m_instructions[step == TRunSteps::kFirstInstruction ? 0 : 1];
}

int TSession::rowOfToken(const QByteArray& token) const {
    // Every row is compared, so the time does not tell which one matched.
    int found = -1;
    for (int i = 0; i < m_rows.size(); ++i)
        if (sameBytes(m_rows[i].token, token))
            found = i;
    return found;
}

TSession::TLogin TSession::Login(const QString& typed, const QHostAddress& from, QByteArray* token,
                                 int* retryAfter) {
    TRunInfo info;
    int row = -1;
    {
        const QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.elapsed();
        TAddressTries& tries = m_tries[from];
        if (tries.lockedUntil > now) {
            *retryAfter = static_cast<int>((tries.lockedUntil - now + 999) / 1000);
            return TLogin::Locked;
        }
        if (tries.lockedUntil != 0) {
            tries = TAddressTries{};
        }
        const QString code = NormalizeCode(typed);
        for (int i = 0; i < m_rows.size(); ++i)
            if (SameCode(m_rows[i].code, code))
                row = i;
        const bool open = row >= 0 && !m_closed && !m_rows[row].aborted &&
                          m_rows[row].steps.View() != TRunSteps::TView::Done;
        if (!open) {
            if (++tries.wrong >= kTriesPerAddress)
                tries.lockedUntil = now + kLockSeconds * 1000;
            return TLogin::Wrong;
        }
        TRow& r = m_rows[row];
        r.token = newToken();
        *token = r.token;
        if (r.loggedIn)
            return TLogin::Ok;
        r.loggedIn = true;
        r.started = QDateTime::currentDateTime();
        info = infoOf(r);
    }
    Q_EMIT RunChanged(row, info);
    return TLogin::Ok;
}

TSession::TOutcome TSession::Act(const QByteArray& token, TAction action, int step, const QString& pair,
                                 TRunSteps* steps) {
    TRunInfo before;
    TRunInfo after;
    int row = -1;
    {
        const QMutexLocker lock(&m_mutex);
        row = m_closed ? -1 : rowOfToken(token);
        if (row < 0)
            return TOutcome::NoRun;
        TRow& r = m_rows[row];
        *steps = r.steps;
        if (action == TAction::View)
            return TOutcome::Ok;
        if (step != r.steps.Step())
            return TOutcome::OutOfOrder;
        before = infoOf(r);
        const bool done = action == TAction::Begin    ? r.steps.Begin()
                          : action == TAction::Choose ? r.steps.Choose(pair)
                                                      : r.steps.Back();
        if (!done)
            return TOutcome::Refused;
        if (r.steps.View() == TRunSteps::TView::Done)
            r.finished = QDateTime::currentDateTime();
        *steps = r.steps;
        after = infoOf(r);
    }
    if (after.status != before.status || after.series != before.series)
        Q_EMIT RunChanged(row, after);
    if (after.status == TRunStatus::Finished)
        Q_EMIT RunFinished(row);
    return TOutcome::Ok;
}

void TSession::Close() {
    QVector<QPair<int, TRunInfo>> changed;
    {
        const QMutexLocker lock(&m_mutex);
        m_closed = true;
        for (int i = 0; i < m_rows.size(); ++i) {
            TRow& r = m_rows[i];
            r.token.clear();
            if (r.steps.View() != TRunSteps::TView::Done && !r.aborted) {
                r.aborted = true;
                changed.append({i, infoOf(r)});
            }
        }
    }
    for (const auto& [row, info] : changed)
        Q_EMIT RunChanged(row, info);
}

} // namespace Group
