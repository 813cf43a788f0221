// The button of an edit dialog that puts back what the user typed after a save was refused because
// another workstation had changed the record: the dialog shows the record as now stored, and one click
// re-applies the user's own changes over it.
#pragma once

#include <QPushButton>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

class QDialog;

namespace Widgets {

class TRestoreEdits_But : public QPushButton {
    Q_OBJECT
public:
    // A hidden button of `dialog`, which places it in its layout; the dialog grows while it shows.
    explicit TRestoreEdits_But(QDialog* dialog);

    // A field of the dialog: its name for the button's tooltip, its value as text and how to set it.
    // `showValue` false lists the field without its value (a password, a grid); a field without a name
    // (a key behind a shown text) is not listed.
    void AddField(const QString& name, std::function<QString()> read,
                  std::function<void(const QString&)> write, bool showValue = true);

    // The values as loaded from the stored record: a change is measured against them.
    void NoteLoaded();
    // Before the stored record is shown again: keeps the value of every field the user changed.
    void KeepChanges();
    // Keeps `value` for field `field` (from a dialog of an earlier try).
    void Keep(int field, const QString& value);
    // After the stored record is shown: shows the button when a kept value differs from what the dialog
    // now shows. A click writes the kept values back into their fields and hides the button.
    void Offer();
    // Hides the button and forgets the kept values.
    void Withdraw();

private:
    struct TField {
        QString name;
        std::function<QString()> read;
        std::function<void(const QString&)> write;
        bool showValue;
    };
    void restore();

    QDialog* m_dialog;
    std::vector<TField> m_fields;
    QStringList m_loaded;
    std::map<int, QString> m_kept;
    QSize m_before; // the dialog's size before the button showed
};

} // namespace Widgets
