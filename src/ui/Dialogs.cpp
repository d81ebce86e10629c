#include "Dialogs.h"

#include "db/DbSession.h"
#include "Outage.h"
#include "printing/ReportPreview.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace Dialogs {
namespace {

class RealHandler : public Handler {
public:
    bool show(Kind kind, const QString &caption, const QString &text) override { return showDetailed(kind, caption, text, {}); }
    bool showDetailed(Kind kind, const QString &caption, const QString &text, const QString &details) override
    {
        QMessageBox box(messageParent());
        if (!details.isEmpty())
            box.setDetailedText(details);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (kind) {
        case Kind::Error:
            box.setIcon(QMessageBox::Critical);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Kind::Information:
            box.setIcon(QMessageBox::Information);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Kind::Question:
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
            box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
            box.setDefaultButton(QMessageBox::Yes);
            break;
        }
        const int r = box.exec();
        return kind == Kind::Question ? r == QMessageBox::Yes : true;
    }
    bool openFile(const QString &path) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    void quit() override { QCoreApplication::exit(0); }
    void preview(const Printing::Document &doc) override { Printing::showPreview(doc); }
};

RealHandler g_real;
Handler *g_handler = nullptr;

} // namespace

Handler *handler() { return g_handler ? g_handler : &g_real; }
void setHandler(Handler *h) { g_handler = h; }

// Nothing is shown while a transaction is open: its locks would be held for
// as long as the user reads, and the box's event loop could run another
// handler's statement inside it.
#define NO_TRANSACTION_OPEN() \
    Q_ASSERT_X(!DbSession::anyTransaction(), "Dialogs", "a message shown while a transaction is open")

void error(const QString &text, const QString &caption)
{
    NO_TRANSACTION_OPEN();
    if (!Outage::isOutageText(text)) {
        handler()->show(Kind::Error, caption, text);
        return;
    }
    // One box per outage: none while it is open (its event loop runs the
    // idle check and the timers), none again until a connection is back.
    Outage &outage = Outage::instance();
    if (!outage.takeBox())
        return;
    struct Closed {
        Outage &o;
        ~Closed() { o.boxClosed(); }
    } closed{outage};
    handler()->showDetailed(Kind::Error, caption, text, outage.details());
}
bool question(const QString &text, const QString &caption)
{
    NO_TRANSACTION_OPEN();
    return handler()->show(Kind::Question, caption, text);
}
void information(const QString &text, const QString &caption)
{
    NO_TRANSACTION_OPEN();
    handler()->show(Kind::Information, caption, text);
}
bool openFile(const QString &path) { return handler()->openFile(path); }
void quitProgram() { handler()->quit(); }
void preview(const Printing::Document &doc) { handler()->preview(doc); }

QWidget *messageParent()
{
    if (QWidget *w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

} // namespace Dialogs
