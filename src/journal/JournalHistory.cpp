#include "JournalHistory.h"

#include "EntryHistory.h"
#include "TForm1.h"
#include "db/Dataset.h"
#include "db/TDataModule6.h"
#include "ui/Forms.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace AuditUi {

void installHistory(Forms &f)
{
    TForm1 *j = f.Form1;
    if (!j)
        return;
    auto *history = new QPushButton(QStringLiteral("История"), j);
    history->setObjectName(QStringLiteral("HistoryButton"));
    history->setAutoDefault(false);
    QObject::connect(history, &QPushButton::clicked, j, [&f]() { showHistory(f); });
    if (auto *row = j->findChild<QHBoxLayout *>(QStringLiteral("StatusRow")))
        row->addWidget(history);
    else if (auto *lay = qobject_cast<QVBoxLayout *>(j->layout()))
        lay->addWidget(history);
}

void showHistory(Forms &f)
{
    Dataset *q = f.Form1->journal();
    if (q->isEmpty())
        return;
    EntryHistory w(f.Form1);
    w.load(f.DataModule6->connectionName(), QStringLiteral("smena"), q->asInt(QStringLiteral("id")));
    w.exec();
}

} // namespace AuditUi
