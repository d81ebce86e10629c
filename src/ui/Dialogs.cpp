#include "Dialogs.h"

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
    bool show(Kind kind, const QString &caption, const QString &text) override
    {
        QMessageBox box(messageParent());
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

void error(const QString &text, const QString &caption) { handler()->show(Kind::Error, caption, text); }
bool question(const QString &text, const QString &caption) { return handler()->show(Kind::Question, caption, text); }
void information(const QString &text, const QString &caption) { handler()->show(Kind::Information, caption, text); }
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
