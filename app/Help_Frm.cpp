// Help window and the F1 key.
#include "app/Help_Frm.h"

#include "app/OnDemand.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "widgets/DialogLayout.h"
#include "widgets/Icons.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kHelpFile = QStringLiteral("/morvel.html");
const QSize kHelpSize(1040, 700);
constexpr int kAnchorRole = Qt::UserRole;

// Window class → page of the manual.
struct PageOfWindow {
    const char* className;
    const char* page;
};
const PageOfWindow kPages[] = {
    {"TMain_Form", "main"},         {"TDB_Form", "databases"},
    {"TDBEdit_Form", "databases"},  {"TInputPassword_Form", "passwords"},
    {"TAddTester_Form", "testees"}, {"TSearch_Form", "search"},
    {"TGroup_Form", "groups"},      {"TInput_Form", "groups"},
    {"TOptions_Form", "settings"},  {"TAbout_Form", "about"},
    {"TListTest_Form", "testlist"}, {"TBlank_Form", "blank"},
    {"TInstr_Form", "testrun"},     {"TTest_Form", "testrun"},
    {"TResult_Form", "results"},    {"TGraph_Form", "charts"},
};

// F1 anywhere but in the help window itself: the page of the window with the focus.
class THelpKey : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        QWidget* window = static_cast<QWidget*>(watched)->window();
        if (qobject_cast<THelp_Form*>(window))
            return false;
        ShowHelp(HelpPageFor(window), window);
        return true;
    }
};

} // namespace

THelp_Form::THelp_Form(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Справка"));
    setAttribute(Qt::WA_DeleteOnClose);
    // An open help never keeps the program running after its last other window.
    setAttribute(Qt::WA_QuitOnClose, false);
    createWidgets();
    createConnections();
    // Wide enough for the pictures of the manual, which show windows at their own size, unless the
    // user made it another size.
    Widgets::RememberSize(this, QStringLiteral("Help"), kHelpSize);
    const QString file = Platform::ProgramPath(kHelpFile);
    if (QFileInfo::exists(file)) {
        Help_Browser->setSearchPaths({Platform::ProgramDir()});
        Help_Browser->setSource(QUrl::fromLocalFile(file));
    } else {
        Help_Browser->setHtml(QStringLiteral("<h2>Справка не найдена</h2><p>Нет файла «%1».</p>")
                                  .arg(QFileInfo(file).absoluteFilePath().toHtmlEscaped()));
    }
    fillContents();
}

void THelp_Form::createWidgets() {
    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Back_Action = toolBar->addAction(Icons::icon(Icons::Kind::Back), QStringLiteral("Назад"));
    Back_Action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    Back_Action->setEnabled(false);
    Forward_Action = toolBar->addAction(Icons::icon(Icons::Kind::Forward), QStringLiteral("Вперед"));
    Forward_Action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    Forward_Action->setEnabled(false);
    toolBar->addSeparator();
    Print_Action = toolBar->addAction(Icons::icon(Icons::Kind::Print), QStringLiteral("Печать..."));
    Print_Action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    toolBar->addSeparator();
    auto* findCaption = new QLabel(QStringLiteral(" Найти: "), toolBar);
    toolBar->addWidget(findCaption);
    Find_Edit = new QLineEdit(toolBar);
    Find_Edit->setObjectName(QStringLiteral("Find_Edit"));
    Find_Edit->setPlaceholderText(QStringLiteral("текст на странице"));
    Find_Edit->setClearButtonEnabled(true);
    Find_Edit->setMaximumWidth(240);
    findCaption->setBuddy(Find_Edit);
    toolBar->addWidget(Find_Edit);
    QAction* findNext = toolBar->addAction(QStringLiteral("Далее"));
    findNext->setToolTip(QStringLiteral("Найти далее (F3)"));
    findNext->setShortcut(QKeySequence(Qt::Key_F3));
    connect(findNext, &QAction::triggered, this, [this] { FindText(); });
    QAction* findPrevious = toolBar->addAction(QStringLiteral("Ранее"));
    findPrevious->setToolTip(QStringLiteral("Найти ранее (Shift+F3)"));
    findPrevious->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(findPrevious, &QAction::triggered, this, [this] { FindText(true); });
    Find_Label = new QLabel(toolBar);
    Find_Label->setObjectName(QStringLiteral("Find_Label"));
    toolBar->addWidget(Find_Label);
    auto* findFocus = new QAction(this);
    findFocus->setShortcut(QKeySequence::Find);
    connect(findFocus, &QAction::triggered, this, [this] {
        Find_Edit->setFocus();
        Find_Edit->selectAll();
    });
    addAction(findFocus);
    // Escape closes the help, as it closes the program's other windows.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);

    auto* splitter = new QSplitter(this);
    Contents_Tree = new QTreeWidget(splitter);
    Contents_Tree->setObjectName(QStringLiteral("Contents_Tree"));
    Contents_Tree->setHeaderLabel(QStringLiteral("Содержание"));
    Help_Browser = new QTextBrowser(splitter);
    Help_Browser->setObjectName(QStringLiteral("Help_Browser"));
    // Every link goes through anchorClicked: pages of the manual here, addresses to the desktop.
    Help_Browser->setOpenLinks(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({270, 770});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter, 1);
}

void THelp_Form::createConnections() {
    connect(Back_Action, &QAction::triggered, Help_Browser, &QTextBrowser::backward);
    connect(Forward_Action, &QAction::triggered, Help_Browser, &QTextBrowser::forward);
    connect(Help_Browser, &QTextBrowser::backwardAvailable, Back_Action, &QAction::setEnabled);
    connect(Help_Browser, &QTextBrowser::forwardAvailable, Forward_Action, &QAction::setEnabled);
    connect(Print_Action, &QAction::triggered, this, &THelp_Form::PrintExecute);
    connect(Find_Edit, &QLineEdit::returnPressed, this, [this] { FindText(); });
    connect(Find_Edit, &QLineEdit::textChanged, Find_Label, &QLabel::clear);
    connect(Contents_Tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { OpenPage(item->data(0, kAnchorRole).toString()); });
    connect(Contents_Tree, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { OpenPage(item->data(0, kAnchorRole).toString()); });
    // The new address comes with the signal: source() may still give the old one while it is sent.
    connect(Help_Browser, &QTextBrowser::sourceChanged, this,
            [this](const QUrl& url) { selectContentsOf(url.fragment()); });
    // Links out of the manual (web, mail) go to the desktop, and say so when nothing can open them.
    connect(Help_Browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.isLocalFile() || url.scheme().isEmpty() || url.scheme() == QLatin1String("qrc"))
            Help_Browser->setSource(Help_Browser->source().resolved(url));
        else
            OpenAddress(this, url.toString());
    });
}

void THelp_Form::fillContents() {
    // The headings of the manual (h1 to h3) with their anchors, nested by level.
    Contents_Tree->clear();
    QTreeWidgetItem* parents[4] = {nullptr, nullptr, nullptr, nullptr};
    for (QTextBlock block = Help_Browser->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level < 1 || level > 3)
            continue;
        QString anchor;
        for (auto it = block.begin(); !it.atEnd() && anchor.isEmpty(); ++it)
            if (const QStringList names = it.fragment().charFormat().anchorNames(); !names.isEmpty())
                anchor = names.first();
        QTreeWidgetItem* parent = nullptr;
        for (int l = level - 1; l >= 1 && !parent; --l)
            parent = parents[l];
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(Contents_Tree);
        item->setText(0, block.text().trimmed());
        item->setToolTip(0, item->text(0));
        item->setData(0, kAnchorRole, anchor);
        parents[level] = item;
        for (int l = level + 1; l <= 3; ++l)
            parents[l] = nullptr;
    }
    Contents_Tree->expandAll();
    // The pane is wide enough for the longest heading (within reason), so no heading is cut.
    constexpr int kWidestPane = 420;
    const QFontMetrics metrics(Contents_Tree->font());
    int widest = 0;
    for (QTreeWidgetItemIterator it(Contents_Tree); *it; ++it) {
        int depth = Contents_Tree->rootIsDecorated() ? 1 : 0;
        for (const QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
            ++depth;
        widest = std::max(widest,
                          depth * Contents_Tree->indentation() + metrics.horizontalAdvance((*it)->text(0)));
    }
    constexpr int kTextMargins = 12;
    const int wanted = widest + kTextMargins + 2 * Contents_Tree->frameWidth() +
                       Contents_Tree->verticalScrollBar()->sizeHint().width();
    Contents_Tree->setMinimumWidth(std::min(wanted, kWidestPane));
}

void THelp_Form::selectContentsOf(const QString& page) {
    for (QTreeWidgetItemIterator it(Contents_Tree); *it; ++it) {
        if ((*it)->data(0, kAnchorRole).toString() == page) {
            Contents_Tree->setCurrentItem(*it);
            return;
        }
    }
}

void THelp_Form::OpenPage(const QString& page) {
    QUrl url = Help_Browser->source();
    if (url.isEmpty())
        return;
    url.setFragment(page.isEmpty() ? QString() : page);
    if (page.isEmpty())
        url = url.adjusted(QUrl::RemoveFragment);
    Help_Browser->setSource(url);
    if (page.isEmpty())
        Help_Browser->verticalScrollBar()->setValue(0);
}

QString THelp_Form::CurrentPage() const { return Help_Browser->source().fragment(); }

bool THelp_Form::FindText(bool backward) {
    const QString text = Find_Edit->text();
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = Help_Browser->find(text, flags);
    if (!found) {
        // Once more from the other end of the page.
        const QTextCursor keep = Help_Browser->textCursor();
        QTextCursor start(Help_Browser->document());
        start.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        Help_Browser->setTextCursor(start);
        found = Help_Browser->find(text, flags);
        if (!found)
            Help_Browser->setTextCursor(keep);
    }
    Find_Label->setText(found ? QString() : QStringLiteral("  Не найдено"));
    return found;
}

void THelp_Form::PrintExecute() {
    OnDemand().PrintText(Help_Browser, QStringLiteral("Печать справки"), this);
}

void THelp_Form::MoveTo(QWidget* owner) {
    if (parentWidget() == owner)
        return;
    const QRect place = geometry();
    const bool visible = isVisible();
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    setParent(owner, windowFlags());
    setGeometry(place);
    if (owner)
        owner->installEventFilter(this);
    if (visible)
        show();
}

bool THelp_Form::eventFilter(QObject* watched, QEvent* event) {
    // The window the help belongs to closes (a dialog is destroyed right after): the help moves on to the
    // window that owned that one, or to the modal window now in front, and stays open.
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous()) {
        QWidget* closing = parentWidget();
        QWidget* next =
            closing->parentWidget() ? closing->parentWidget()->window() : QApplication::activeModalWidget();
        MoveTo(next != closing ? next : nullptr);
    }
    return QWidget::eventFilter(watched, event);
}

void THelp_Form::FitToScreen(bool centre) {
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (!screen)
        return;
    // Room for the frame and title bar that the window system adds around the window.
    const QMargins frame(8, 32, 8, 8);
    const QRect area = screen->availableGeometry().marginsRemoved(frame);
    QRect place = geometry();
    place.setSize(place.size().boundedTo(area.size()));
    if (centre || !area.contains(place))
        place.moveCenter(area.center());
    setGeometry(place);
}

QString HelpPageFor(const QWidget* window) {
    if (!window)
        return QString();
    if (const QVariant page = window->property("helpPage"); page.isValid())
        return page.toString();
    for (const QMetaObject* meta = window->metaObject(); meta; meta = meta->superClass())
        for (const PageOfWindow& p : kPages)
            if (qstrcmp(meta->className(), p.className) == 0)
                return QString::fromLatin1(p.page);
    return QString();
}

THelp_Form* ShowHelp(const QString& page, QWidget* from) {
    // The help window belongs to the window it was asked from, so a modal dialog does not block it.
    QWidget* owner = from ? from->window() : nullptr;
    THelp_Form* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<THelp_Form*>(w); open && open->isVisible())
            help = open;
    // A new window opens in the middle of the screen rather than over the window it was asked from,
    // which may sit near the screen's edge.
    const bool created = !help;
    if (created)
        help = new THelp_Form;
    help->MoveTo(owner);
    help->FitToScreen(created);
    help->OpenPage(page);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

void InstallHelpKey(QApplication& app) { app.installEventFilter(new THelpKey(&app)); }

bool OpenAddress(QWidget* owner, const QString& url) {
    if (Platform::ShellOpen(url))
        return true;
    const QString mailto = QStringLiteral("mailto:");
    const bool mail = url.startsWith(mailto, Qt::CaseInsensitive);
    const QString address = mail ? url.mid(mailto.size()) : url;
    const QString text = mail
                             ? QStringLiteral("Не найдена почтовая программа. Адрес для письма:\n\n%1")
                             : QStringLiteral("Не найдена программа для просмотра веб-страниц. Адрес:\n\n%1");
    Platform::messageBox(owner, text.arg(address),
                         mail ? QStringLiteral("Электронная почта") : QStringLiteral("Интернет"),
                         Platform::MsgIcon::Information);
    return false;
}
