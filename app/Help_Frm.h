// The help window: the user's manual "morvel.html" of the program directory in a text browser, with
// its contents, back and forward, search within the page and printing; and the F1 key, which opens it
// at the page of the window in use.
#pragma once

#include <QWidget>

class QAction;
class QApplication;
class QLabel;
class QLineEdit;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class THelp_Form : public QWidget {
    Q_OBJECT
public:
    explicit THelp_Form(QWidget* parent = nullptr);

    QTreeWidget* Contents_Tree;
    QTextBrowser* Help_Browser;
    QAction* Back_Action;
    QAction* Forward_Action;
    QAction* Print_Action;
    QLineEdit* Find_Edit;
    QLabel* Find_Label;

    // Shows the page (an anchor of the manual; empty for the top).
    void OpenPage(const QString& page);
    // The anchor of the page shown ("" for the top).
    QString CurrentPage() const;
    // Finds the text of Find_Edit after the cursor (before it when `backward`), from the start again
    // at the end; false when the page does not hold it.
    bool FindText(bool backward = false);

    // Makes the help a window of `owner` (which a modal `owner` does not block), keeping its place; when
    // `owner` goes away the help moves on to the window that owned that one.
    void MoveTo(QWidget* owner);
    // Keeps the window within the available area of its screen, shrinking it where it must; `centre`
    // puts it in the middle of that area.
    void FitToScreen(bool centre = false);

public Q_SLOTS:
    void PrintExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createWidgets();
    void createConnections();
    void fillContents();
    void selectContentsOf(const QString& page);
};

// The page of the manual that describes the window (a "helpPage" property of the window wins).
QString HelpPageFor(const QWidget* window);

// Opens the help window at the page, above the window `from` (which may be modal). The program has one
// help window: an open one is reused and moves to `from`.
THelp_Form* ShowHelp(const QString& page, QWidget* from);

// Opens a web or mail address; when no application can take it, tells the user so and shows the
// address (without "mailto:") for copying. Returns whether it was opened.
bool OpenAddress(QWidget* owner, const QString& url);

// Lets F1 open the help at the page of the window that has the focus, in every window of the program.
void InstallHelpKey(QApplication& app);
