// The "Вернуть мои изменения" button of the edit dialogs.
#include "widgets/RestoreEdits.h"

#include <QDialog>

namespace Widgets {

TRestoreEdits_But::TRestoreEdits_But(QDialog* dialog)
    : QPushButton(QStringLiteral("&Вернуть мои изменения"), dialog), m_dialog(dialog) {
    setObjectName(QStringLiteral("Restore_But"));
    setAutoDefault(false);
    hide();
    connect(this, &QPushButton::clicked, this, &TRestoreEdits_But::restore);
}

void TRestoreEdits_But::AddField(const QString& name, std::function<QString()> read,
                                 std::function<void(const QString&)> write, bool showValue) {
    m_fields.push_back(TField{name, std::move(read), std::move(write), showValue});
}

void TRestoreEdits_But::NoteLoaded() {
    m_loaded.clear();
    for (const TField& f : m_fields)
        m_loaded << f.read();
}

void TRestoreEdits_But::KeepChanges() {
    for (int i = 0; i < int(m_fields.size()); ++i)
        if (const QString value = m_fields[size_t(i)].read(); i >= m_loaded.size() || value != m_loaded[i])
            Keep(i, value);
}

void TRestoreEdits_But::Keep(int field, const QString& value) {
    if (field >= 0 && field < int(m_fields.size()))
        m_kept[field] = value;
}

void TRestoreEdits_But::Offer() {
    QStringList lines;
    for (auto it = m_kept.begin(); it != m_kept.end();) {
        const TField& f = m_fields[size_t(it->first)];
        if (f.read() == it->second) {
            it = m_kept.erase(it); // the stored record holds it already
            continue;
        }
        if (!f.name.isEmpty())
            lines << (f.showValue ? QStringLiteral("%1: %2").arg(f.name, it->second)
                                  : QStringLiteral("%1 (изменено)").arg(f.name));
        ++it;
    }
    if (m_kept.empty()) {
        Withdraw();
        return;
    }
    setToolTip(QStringLiteral("Ваши несохранённые изменения:\n") + lines.join(QLatin1Char('\n')));
    // The dialog's layout makes room for the button; the dialog shrinks back when it goes.
    if (isHidden())
        m_before = m_dialog->size();
    show();
}

void TRestoreEdits_But::Withdraw() {
    m_kept.clear();
    if (isHidden())
        return;
    hide();
    m_dialog->resize(m_before);
}

void TRestoreEdits_But::restore() {
    const std::map<int, QString> kept = m_kept;
    for (const auto& [field, value] : kept)
        m_fields[size_t(field)].write(value);
    Withdraw();
}

} // namespace Widgets
