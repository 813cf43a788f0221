// Search dialog.
#include "app/Sour_Frm.h"

#include "data/DataMod.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "widgets/DialogLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <optional>

namespace {

const QString kFields[] = {QStringLiteral("FIO"), QStringLiteral("AGE"), QStringLiteral("GROUP_NAME")};

// Upper case one character at a time, as the code-page function did: every letter keeps its place, so
// a prefix of the value is compared in place without building an upper-case copy of each row.
QString upperCase(const QString& text) {
    QString result = text;
    for (QChar& ch : result)
        ch = ch.toUpper();
    return result;
}

// True when the value (compared in upper case) begins with, or with wholeValue equals, the upper-case
// text. An empty text is no beginning of anything.
bool matches(QStringView value, QStringView upperText, bool wholeValue) {
    if (wholeValue ? value.size() != upperText.size()
                   : (upperText.isEmpty() || value.size() < upperText.size()))
        return false;
    for (qsizetype i = 0; i < upperText.size(); ++i)
        if (value[i].toUpper() != upperText[i])
            return false;
    return true;
}

// The same test on a stored UTF-8 text, decoded only as far as the comparison goes. Returns nullopt
// for bytes that are no well-formed UTF-8, which the caller then compares as converted text.
std::optional<bool> matchesUtf8(QByteArrayView value, QStringView upperText, bool wholeValue) {
    if (!wholeValue && upperText.isEmpty())
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    const auto* end = p + value.size();
    qsizetype i = 0;
    while (i < upperText.size()) {
        if (p == end)
            return false;
        char32_t cp = *p++;
        if (cp >= 0x80) {
            int extra;
            if (cp >= 0xC2 && cp <= 0xDF)
                extra = 1;
            else if (cp >= 0xE0 && cp <= 0xEF)
                extra = 2;
            else if (cp >= 0xF0 && cp <= 0xF4)
                extra = 3;
            else
                return std::nullopt;
            if (end - p < extra)
                return std::nullopt;
            cp &= 0x3F >> extra;
            for (int k = 0; k < extra; ++k) {
                if ((*p & 0xC0) != 0x80)
                    return std::nullopt;
                cp = (cp << 6) | (*p++ & 0x3F);
            }
            // Overlong forms, surrogates and values past the last code point are malformed.
            if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
                return std::nullopt;
        }
        if (cp < 0x10000) {
            if (QChar(static_cast<char16_t>(cp)).toUpper() != upperText[i])
                return false;
            ++i;
        } else {
            // A surrogate pair has no case: both halves compare as they stand.
            const QChar pair[2] = {QChar::highSurrogate(cp), QChar::lowSurrogate(cp)};
            if (i + 1 >= upperText.size() || pair[0] != upperText[i] || pair[1] != upperText[i + 1])
                return false;
            i += 2;
        }
    }
    return !wholeValue || p == end;
}

// Decimal text of an integer in a buffer of the caller.
QStringView decimal(int n, char16_t (&buffer)[12]) {
    char16_t* end = buffer + 12;
    char16_t* p = end;
    unsigned u = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    do {
        *--p = static_cast<char16_t>(u'0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (n < 0)
        *--p = u'-';
    return QStringView(p, end - p);
}

} // namespace

bool SearchTester(Data::TDataset& dataset, const QString& field, const QString& text, bool wholeValue,
                  bool fromCursor) {
    if (!dataset.Active() || dataset.IsEmpty())
        return false;
    (void)dataset.FieldByName(field); // an unknown field raises the engine's error
    const int column = dataset.FieldIndex(field);
    const bool age = field.compare(QLatin1String("AGE"), Qt::CaseInsensitive) == 0;
    const QString upperText = upperCase(text);

    int found = -1;
    {
        // Notes the current row and suspends the bound views until the walk is over, also on error. The
        // walk reads the rows by their place rather than by moving the cursor, so the views have nothing
        // to catch up with afterwards and a miss leaves the cursor on the noted row.
        Data::TWalkGuard walk(dataset);
        const Data::TRowStore& store = dataset.Rows();
        const int rows = store.RowCount();
        for (int row = fromCursor ? dataset.CurrentRow() + 1 : 0; row < rows; ++row) {
            const Data::TCellKind kind = store.Kind(row, column);
            std::optional<bool> match;
            if (age) {
                char16_t buffer[12];
                const QVariant value = store.Value(row, column);
                match = matches(decimal(value.isNull() ? 0 : value.toInt(), buffer), upperText, wholeValue);
            } else if (kind == Data::TCellKind::Text) {
                // The stored bytes in place, without a converted copy of each row.
                match = matchesUtf8(store.Bytes(row, column), upperText, wholeValue);
            }
            if (!match)
                match = matches(store.Value(row, column).toString(), upperText, wholeValue);
            if (*match) {
                found = row;
                break;
            }
        }
    }
    if (found >= 0)
        dataset.GotoBookmark(found);
    return found >= 0;
}

TSearch_Form::TSearch_Form(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Поиск тестируемого"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont bold = font();
    bold.setBold(true);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(panel);
    const auto boldLabel = [&](const QString& text, QWidget* buddy, int row) {
        auto* label = new QLabel(text, panel);
        label->setFont(bold);
        label->setBuddy(buddy);
        grid->addWidget(label, row, 0);
    };

    Source_Edit = new QLineEdit(panel);
    Source_Edit->setObjectName(QStringLiteral("Source_Edit"));
    boldLabel(QStringLiteral("Строка для поиска"), Source_Edit, 0);
    grid->addWidget(Source_Edit, 1, 0, 1, 2);

    SourceField_ComboBox = new QComboBox(panel);
    SourceField_ComboBox->setObjectName(QStringLiteral("SourceField_ComboBox"));
    SourceField_ComboBox->addItems(
        {QStringLiteral("Фамилия, имя, отчество"), QStringLiteral("Возраст"), QStringLiteral("Группа")});
    boldLabel(QStringLiteral("Поле для поиска"), SourceField_ComboBox, 2);
    grid->addWidget(SourceField_ComboBox, 3, 0);
    WordFull_CheckBox = new QCheckBox(QStringLiteral("Только слово целиком"), panel);
    WordFull_CheckBox->setObjectName(QStringLiteral("WordFull_CheckBox"));
    grid->addWidget(WordFull_CheckBox, 4, 0);

    TypeSearch_RG = new QGroupBox(QStringLiteral("Искать от "), panel);
    TypeSearch_RG->setObjectName(QStringLiteral("TypeSearch_RG"));
    TypeSearch_RG->setFont(bold);
    grid->addWidget(TypeSearch_RG, 2, 1, 3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    const QFont normal = font();
    auto* radios = new QVBoxLayout(TypeSearch_RG);
    Start_Radio = new QRadioButton(QStringLiteral("Начала"), TypeSearch_RG);
    Cursor_Radio = new QRadioButton(QStringLiteral("Курсора"), TypeSearch_RG);
    for (QRadioButton* radio : {Start_Radio, Cursor_Radio}) {
        radio->setFont(normal);
        radios->addWidget(radio);
    }
    Start_Radio->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    layout->addWidget(Widgets::ButtonRow(this, Search_But, Cancel_But, QStringLiteral("&Искать"),
                                         QStringLiteral("&Отмена")));
    Widgets::OpenAt(this, QSize(416, 202));

    connect(Search_But, &QPushButton::clicked, this,
            [this] { Platform::guarded([this] { Search_ButClick(); }); });
    connect(Cancel_But, &QPushButton::clicked, this, &QDialog::reject);
    Source_Edit->setFocus();
}

TSearch_Form::TypeSearch TSearch_Form::TypeSearchIndex() const {
    return Cursor_Radio->isChecked() ? FromCursor : FromStart;
}

void TSearch_Form::SetTypeSearchIndex(TypeSearch index) {
    (index == FromCursor ? Cursor_Radio : Start_Radio)->setChecked(true);
}

QString TSearch_Form::SearchField() const {
    const int item = SourceField_ComboBox->currentIndex();
    return kFields[item >= 1 && item <= 2 ? item : 0];
}

void TSearch_Form::Search_ButClick() {
    const bool found = SearchTester(*Main_DataModule->Men_Query, SearchField(), Source_Edit->text(),
                                    WordFull_CheckBox->isChecked(), TypeSearchIndex() == FromCursor);
    if (found) {
        // The next search continues after this match.
        SetTypeSearchIndex(FromCursor);
        return;
    }
    Platform::messageBox(this, QStringLiteral("Тестируемый по заданному критерию не найден!"),
                         QStringLiteral("Информация"), Platform::MsgIcon::Information);
}

void ShowSearch(QWidget* parent) {
    TSearch_Form form(parent);
    form.SourceField_ComboBox->setCurrentIndex(0);
    form.exec();
}
